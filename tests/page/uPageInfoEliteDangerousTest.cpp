#include "page/uPageInfoEliteDangerous.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/uText.h"
#include "page/uPageInfo.h"

namespace {

// Every cell of the page in display order: the prefix row, then each tab's rows.
std::vector<const TButtonBase*> AllCells(const TPageInfo& page) {
  std::vector<const TButtonBase*> cells;
  const auto collect = [&](const TButtonRows& rows) {
    for (const auto& row : rows)
      for (const auto& cell : row->Buttons()) cells.push_back(cell.get());
  };
  collect(page.Model()->GenericPartPrefix());
  for (const auto& tab : page.Model()->TabInfos()) collect(tab->ButtonRows());
  collect(page.Model()->GenericPartPostfix());
  return cells;
}

class BuiltInPage : public ::testing::Test {
 protected:
  BuiltInPage() { FillEliteDangerousPage(page); }
  TPageInfo page;
};

TEST_F(BuiltInPage, HasTheTitleAndLeavesTheNumbersAlone) {
  EXPECT_EQ(page.PageTitle(), u"Elite Dangerous Tapdeck");
  EXPECT_EQ(page.VirtualJoystickId(), 0);
  EXPECT_EQ(page.WebServerPortNr(), 0);
}

TEST_F(BuiltInPage, HasThreeTabsAndTheirRows) {
  struct TabCase {
    std::u16string id, text;
    std::vector<int> cellsPerRow;
  };
  const TabCase expected[] = {
      {u"flight", u"Flight", {4, 4}},
      {u"landing", u"Landing", {1, 4, 3, 4}},
      {u"ui", u"UI", {4, 3, 3, 2}},
  };
  ASSERT_EQ(page.Model()->TabInfos().Count(), 3);
  for (int t = 0; t < 3; ++t) {
    const TTabInfo& tab = page.Model()->TabInfos().Items(t);
    SCOPED_TRACE(Utf16ToUtf8(tab.Id()));
    EXPECT_EQ(tab.Id(), expected[t].id);
    EXPECT_EQ(tab.Text(), expected[t].text);
    EXPECT_EQ(tab.Color(), u"black");
    std::vector<int> cellsPerRow;
    for (const auto& row : tab.ButtonRows()) cellsPerRow.push_back(row->Buttons().Count());
    EXPECT_EQ(cellsPerRow, expected[t].cellsPerRow);
  }
  ASSERT_EQ(page.Model()->GenericPartPrefix().Count(), 1);
  EXPECT_EQ(page.Model()->GenericPartPrefix().Items(0).Buttons().Count(), 4);
  EXPECT_EQ(page.Model()->GenericPartPostfix().Count(), 0);
}

TEST_F(BuiltInPage, Holds36CellsByClass) {
  int keys = 0, titles = 0, downs = 0, ups = 0, presses = 0;
  for (const TButtonBase* cell : AllCells(page)) {
    keys += dynamic_cast<const TButtonKeyPress*>(cell) != nullptr;
    titles += dynamic_cast<const TButtonTitle*>(cell) != nullptr;
    downs += dynamic_cast<const TButtonButtonsDown*>(cell) != nullptr;
    ups += dynamic_cast<const TButtonButtonsUp*>(cell) != nullptr;
    presses += dynamic_cast<const TButtonButtonsPress*>(cell) != nullptr;
  }
  EXPECT_EQ(AllCells(page).size(), 36u);
  EXPECT_EQ(keys, 12);
  EXPECT_EQ(titles, 1);
  EXPECT_EQ(downs, 10);
  EXPECT_EQ(ups, 1);
  EXPECT_EQ(presses, 12);
}

// Every cell's rendered line, in display order.
TEST_F(BuiltInPage, RendersEveryCell) {
  const std::u16string expected[] = {
      // Shown on every tab.
      u"<td colspan=\"1\" action=\"keypress\" key=\"l\" class=\"background-green\">Toggle Landing Gear</td>",
      u"<td colspan=\"1\" action=\"keypress\" key=\"{INS}\" class=\"background-green\">Toggle Lights</td>",
      u"<td colspan=\"1\" action=\"keypress\" key=\"u\" class=\"background-green\">Toggle Hard-points</td>",
      u"<td colspan=\"1\" action=\"keypress\" key=\"{HOME}\" class=\"background-green\">Toggle Cargo scoop</td>",
      // flight
      u"<td colspan=\"1\" action=\"keypress\" key=\"z\" class=\"background-green\">Toggle Flight Assist</td>",
      u"<td colspan=\"1\" action=\"keypress\" key=\"{TAB}\" class=\"background-green\">Engine Boost</td>",
      u"<td colspan=\"1\" action=\"keypress\" key=\"j\" class=\"background-green\">Frame Shift Drive</td>",
      u"<td colspan=\"1\" action=\"keypress\" key=\"v\" class=\"background-green\">Deploy heat sink</td>",
      u"<td colspan=\"1\" action=\"keypress\" key=\"{DOWN}\" class=\"background-blue\">Balance Power</td>",
      u"<td colspan=\"1\" action=\"keypress\" key=\"{UP}\" class=\"background-blue\">Power Engines</td>",
      u"<td colspan=\"1\" action=\"keypress\" key=\"{RIGHT}\" class=\"background-blue\">Power Weapons</td>",
      u"<td colspan=\"1\" action=\"keypress\" key=\"{LEFT}\" class=\"background-blue\">Power Systems</td>",
      // landing
      u"<td colspan=\"4\" class=\"background-black small\">Thrusters</td>",
      u"<td colspan=\"1\" action=\"buttonsdown\" key=\",1,5\" class=\"background-red\">Left / Forward</td>",
      u"<td colspan=\"1\" action=\"buttonsdown\" key=\",3\" class=\"background-red\">Up</td>",
      u"<td colspan=\"1\" action=\"buttonsdown\" key=\",5\" class=\"background-red\">Forward</td>",
      u"<td colspan=\"1\" action=\"buttonsdown\" key=\",2,5\" class=\"background-red\">Right / Forward</td>",
      u"<td colspan=\"1\" action=\"buttonsdown\" key=\",1\" class=\"background-red\">Left</td>",
      u"<td colspan=\"2\" action=\"buttonsup\" key=\",1,2,3,4,5,6\" class=\"background-blue\">Stop</td>",
      u"<td colspan=\"1\" action=\"buttonsdown\" key=\",2\" class=\"background-red\">Right</td>",
      u"<td colspan=\"1\" action=\"buttonsdown\" key=\",1,6\" class=\"background-red\">Left / Backward</td>",
      u"<td colspan=\"1\" action=\"buttonsdown\" key=\",4\" class=\"background-red\">Down</td>",
      u"<td colspan=\"1\" action=\"buttonsdown\" key=\",6\" class=\"background-red\">Backward</td>",
      u"<td colspan=\"1\" action=\"buttonsdown\" key=\",2,6\" class=\"background-red\">Right / Backward</td>",
      // ui
      u"<td colspan=\"1\" action=\"buttonspress\" key=\",7\" class=\"background-green\">Target</td>",
      u"<td colspan=\"1\" action=\"buttonspress\" key=\",10\" class=\"background-green\">Coms</td>",
      u"<td colspan=\"1\" action=\"buttonspress\" key=\",9\" class=\"background-green\">Sensors</td>",
      u"<td colspan=\"1\" action=\"buttonspress\" key=\",8\" class=\"background-green\">Systems</td>",
      u"<td colspan=\"1\" action=\"buttonspress\" key=\",15\" class=\"background-red\">Previous Panel</td>",
      u"<td colspan=\"1\" action=\"buttonspress\" key=\",11\" class=\"background-red\">Panel Up</td>",
      u"<td colspan=\"1\" action=\"buttonspress\" key=\",17\" class=\"background-red\">Next Panel</td>",
      u"<td colspan=\"1\" action=\"buttonspress\" key=\",13\" class=\"background-red\">Panel Left</td>",
      u"<td colspan=\"1\" action=\"buttonspress\" key=\",16\" class=\"background-red\">Panel Select</td>",
      u"<td colspan=\"1\" action=\"buttonspress\" key=\",14\" class=\"background-red\">Panel Right</td>",
      u"<td colspan=\"1\" action=\"buttonspress\" key=\",18\" class=\"background-red\">Panel Back</td>",
      u"<td colspan=\"1\" action=\"buttonspress\" key=\",12\" class=\"background-red\">Panel Down</td>",
  };
  const auto cells = AllCells(page);
  ASSERT_EQ(cells.size(), std::size(expected));
  for (std::size_t i = 0; i < cells.size(); ++i) {
    SCOPED_TRACE("cell " + std::to_string(i + 1));
    EXPECT_EQ(cells[i]->AsHTML(), expected[i]);
  }
}

TEST_F(BuiltInPage, ShowsTheFlightTableAndHidesTheOthers) {
  const std::u16string html = page.GetHTML();
  EXPECT_TRUE(html.starts_with(u"<table><tr>\r\n<td command=\"show\" subject=\"flight\""));
  EXPECT_NE(html.find(u"\r\n<table id=\"id_flight\" >\r\n"), std::u16string::npos);
  EXPECT_NE(html.find(u"\r\n<table id=\"id_landing\" class=\"hidden\">\r\n"), std::u16string::npos);
  EXPECT_NE(html.find(u"\r\n<table id=\"id_ui\" class=\"hidden\">\r\n"), std::u16string::npos);
  // The general controls stand between the tab bar and the first tab's table.
  const auto prefix = html.find(u"Toggle Landing Gear");
  EXPECT_LT(html.find(u"</tr></table>"), prefix);
  EXPECT_LT(prefix, html.find(u"id_flight"));
  EXPECT_TRUE(html.ends_with(u"Panel Down</td>\r\n</tr>\r\n\r\n</table>\r\n\r\n"));
}

TEST_F(BuiltInPage, UsesJoystickButtonsOneTo18) {
  std::set<std::int32_t> used;
  for (const TButtonBase* cell : AllCells(page))
    if (const auto* joystick = dynamic_cast<const TButtonButtons*>(cell))
      used.insert(joystick->ButtonsIds().begin(), joystick->ButtonsIds().end());
  std::set<std::int32_t> expected;
  for (std::int32_t id = 1; id <= 18; ++id) expected.insert(id);
  EXPECT_EQ(used, expected);
}

// The process-wide object is rebuilt for every test here, so no test sees another's changes.
class GetPageInfoTest : public ::testing::Test {
 protected:
  void SetUp() override { FreePageInfo(); }
  void TearDown() override { FreePageInfo(); }
};

TEST_F(GetPageInfoTest, BuildsTheBuiltInPageWithTheDefaults) {
  TPageInfo& page = GetPageInfo();
  EXPECT_EQ(&GetPageInfo(), &page);
  EXPECT_EQ(page.PageTitle(), u"Elite Dangerous Tapdeck");
  EXPECT_EQ(page.VirtualJoystickId(), 2);
  EXPECT_EQ(page.WebServerPortNr(), 8080);
  EXPECT_EQ(page.Model()->TabInfos().Count(), 3);
  EXPECT_EQ(page.Model()->GenericPartPrefix().Count(), 1);
  EXPECT_EQ(page.Model()->GenericPartPostfix().Count(), 0);
  EXPECT_EQ(AllCells(page).size(), 36u);
}

TEST_F(GetPageInfoTest, AfterFreeBuildsAFreshPage) {
  TPageInfo& page = GetPageInfo();
  page.SetPageTitle(u"changed");
  page.SetVirtualJoystickId(5);
  page.SetWebServerPortNr(9000);
  EXPECT_EQ(GetPageInfo().PageTitle(), u"changed");
  FreePageInfo();
  TPageInfo& fresh = GetPageInfo();
  EXPECT_EQ(fresh.PageTitle(), u"Elite Dangerous Tapdeck");
  EXPECT_EQ(fresh.VirtualJoystickId(), 2);
  EXPECT_EQ(fresh.WebServerPortNr(), 8080);
  FreePageInfo();
  FreePageInfo();  // freeing twice is harmless
}

}  // namespace
