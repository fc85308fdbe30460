#include "page/uPageInfoEliteDangerous.h"

#include <memory>
#include <string>
#include <vector>

#include "page/uPageInfo.h"

namespace {

// Small helpers so the tables below read like the page, left to right, top to bottom.
void Key(TButtonRow& ARow, std::u16string AKey, std::u16string AText, std::u16string AColor) {
  ARow.Buttons().Add(std::make_unique<TButtonKeyPress>(std::move(AKey), std::move(AText), std::move(AColor), 1));
}

template <typename TCell>
void Joy(TButtonRow& ARow, std::vector<std::int32_t> AIds, std::u16string AText, std::u16string AColor,
         std::int32_t AColspan = 1) {
  ARow.Buttons().Add(std::make_unique<TCell>(std::move(AIds), std::move(AText), std::move(AColor), AColspan));
}

void FillGeneralControls(TButtonRows& ARows) {
  TButtonRow& row = ARows.AddButtonRow();
  Key(row, u"l", u"Toggle Landing Gear", u"green");
  Key(row, u"{INS}", u"Toggle Lights", u"green");
  Key(row, u"u", u"Toggle Hard-points", u"green");
  Key(row, u"{HOME}", u"Toggle Cargo scoop", u"green");
}

void FillFlight(TButtonRows& ARows) {
  TButtonRow& ship = ARows.AddButtonRow();
  Key(ship, u"z", u"Toggle Flight Assist", u"green");
  Key(ship, u"{TAB}", u"Engine Boost", u"green");
  Key(ship, u"j", u"Frame Shift Drive", u"green");
  Key(ship, u"v", u"Deploy heat sink", u"green");

  TButtonRow& power = ARows.AddButtonRow();
  Key(power, u"{DOWN}", u"Balance Power", u"blue");
  Key(power, u"{UP}", u"Power Engines", u"blue");
  Key(power, u"{RIGHT}", u"Power Weapons", u"blue");
  Key(power, u"{LEFT}", u"Power Systems", u"blue");
}

// Thruster cells stay pressed and add up; "Stop" releases all six thruster buttons.
void FillLanding(TButtonRows& ARows) {
  ARows.AddButtonRow().Buttons().Add(std::make_unique<TButtonTitle>(u"Thrusters", u"black", 4));

  TButtonRow& forward = ARows.AddButtonRow();
  Joy<TButtonButtonsDown>(forward, {1, 5}, u"Left / Forward", u"red");
  Joy<TButtonButtonsDown>(forward, {3}, u"Up", u"red");
  Joy<TButtonButtonsDown>(forward, {5}, u"Forward", u"red");
  Joy<TButtonButtonsDown>(forward, {2, 5}, u"Right / Forward", u"red");

  TButtonRow& middle = ARows.AddButtonRow();
  Joy<TButtonButtonsDown>(middle, {1}, u"Left", u"red");
  Joy<TButtonButtonsUp>(middle, {1, 2, 3, 4, 5, 6}, u"Stop", u"blue", 2);
  Joy<TButtonButtonsDown>(middle, {2}, u"Right", u"red");

  TButtonRow& backward = ARows.AddButtonRow();
  Joy<TButtonButtonsDown>(backward, {1, 6}, u"Left / Backward", u"red");
  Joy<TButtonButtonsDown>(backward, {4}, u"Down", u"red");
  Joy<TButtonButtonsDown>(backward, {6}, u"Backward", u"red");
  Joy<TButtonButtonsDown>(backward, {2, 6}, u"Right / Backward", u"red");
}

void FillInterface(TButtonRows& ARows) {
  TButtonRow& panels = ARows.AddButtonRow();
  Joy<TButtonButtonsPress>(panels, {7}, u"Target", u"green");
  Joy<TButtonButtonsPress>(panels, {10}, u"Coms", u"green");
  Joy<TButtonButtonsPress>(panels, {9}, u"Sensors", u"green");
  Joy<TButtonButtonsPress>(panels, {8}, u"Systems", u"green");

  TButtonRow& top = ARows.AddButtonRow();
  Joy<TButtonButtonsPress>(top, {15}, u"Previous Panel", u"red");
  Joy<TButtonButtonsPress>(top, {11}, u"Panel Up", u"red");
  Joy<TButtonButtonsPress>(top, {17}, u"Next Panel", u"red");

  TButtonRow& middle = ARows.AddButtonRow();
  Joy<TButtonButtonsPress>(middle, {13}, u"Panel Left", u"red");
  Joy<TButtonButtonsPress>(middle, {16}, u"Panel Select", u"red");
  Joy<TButtonButtonsPress>(middle, {14}, u"Panel Right", u"red");

  TButtonRow& bottom = ARows.AddButtonRow();
  Joy<TButtonButtonsPress>(bottom, {18}, u"Panel Back", u"red");
  Joy<TButtonButtonsPress>(bottom, {12}, u"Panel Down", u"red");
}

}  // namespace

void FillEliteDangerousModel(TPageModel& AModel) {
  FillGeneralControls(AModel.GenericPartPrefix());
  FillFlight(AModel.TabInfos().AddTab(u"flight", u"Flight", u"black").ButtonRows());
  FillLanding(AModel.TabInfos().AddTab(u"landing", u"Landing", u"black").ButtonRows());
  FillInterface(AModel.TabInfos().AddTab(u"ui", u"UI", u"black").ButtonRows());
}

void FillEliteDangerousPage(TPageInfo& APageInfo) {
  APageInfo.SetPageTitle(kEliteDangerousTitle);
  auto model = std::make_shared<TPageModel>();
  FillEliteDangerousModel(*model);
  APageInfo.SetModel(std::move(model));
}
