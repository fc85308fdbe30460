#include "page/uPageInfo.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "base/uErrors.h"
#include "base/uFiles.h"
#include "base/uText.h"
#include "page/uPageInfoEliteDangerous.h"
#include "tests/page/GatedFile.h"
#include "tests/page/UnopenableFile.h"
#include "tests/support/Platform.h"
#include "tests/support/TempDir.h"

namespace {

// A model filled by AFill, ready to be put in use.
template <typename TFill>
std::shared_ptr<const TPageModel> ModelOf(TFill AFill) {
  auto model = std::make_shared<TPageModel>();
  AFill(*model);
  return model;
}

// Every line followed by CR LF, as the renderings end their lines.
std::u16string CrLfLines(std::initializer_list<std::u16string_view> lines) {
  std::u16string text;
  for (const auto line : lines) {
    text += line;
    text += u"\r\n";
  }
  return text;
}

template <typename TCell, typename... Args>
TCell& AddCell(TButtonRow& row, Args&&... args) {
  return row.Buttons().Add(std::make_unique<TCell>(std::forward<Args>(args)...));
}

// The tab of the worked example: "flight" with one row of two key cells.
TTabInfo& AddFlightTab(TTabInfos& tabs) {
  TTabInfo& tab = tabs.AddTab(u"flight", u"Flight", u"black");
  TButtonRow& row = tab.ButtonRows().AddButtonRow();
  AddCell<TButtonKeyPress>(row, u"z", u"Toggle Flight Assist", u"green", 1);
  AddCell<TButtonKeyPress>(row, u"{TAB}", u"Engine Boost", u"green", 1);
  return tab;
}

// ---- Page elements --------------------------------------------------------------------

TEST(TTabInfo, RendersTheWorkedExample) {
  TTabInfos tabs;
  const TTabInfo& tab = AddFlightTab(tabs);
  EXPECT_EQ(tab.AsTabsHTML(),
            u"<td command=\"show\" subject=\"flight\" onclick=\"docommand(this)\" "
            u"class=\"background-black\">Flight</td>");
  const std::u16string rows = CrLfLines({
      u"<tr>",
      u"<td colspan=\"1\" action=\"keypress\" key=\"z\" class=\"background-green\">Toggle Flight Assist</td>",
      u"<td colspan=\"1\" action=\"keypress\" key=\"{TAB}\" class=\"background-green\">Engine Boost</td>",
      u"</tr>",
      u"",
      u"</table>",
  });
  EXPECT_EQ(tab.AsHTML(false), u"<table id=\"id_flight\" >\r\n" + rows);
  EXPECT_EQ(tab.AsHTML(true), u"<table id=\"id_flight\" class=\"hidden\">\r\n" + rows);
}

TEST(TTabInfo, ConstructorSetsTheFixedAttributes) {
  const TTabInfo tab(u"ui", u"UI", u"black");
  EXPECT_EQ(tab.Id(), u"ui");
  EXPECT_EQ(tab.Text(), u"UI");
  EXPECT_EQ(tab.Color(), u"black");
  EXPECT_EQ(tab.Command(), u"show");
  EXPECT_EQ(tab.OnClick(), u"docommand(this)");
  EXPECT_EQ(tab.ButtonRows().Count(), 0);
}

TEST(TTabInfo, WithoutRowsRendersOpeningLineThenClosingTag) {
  const TTabInfo tab(u"empty", u"Empty", u"red");
  EXPECT_EQ(tab.AsHTML(false), u"<table id=\"id_empty\" >\r\n</table>\r\n");
  EXPECT_EQ(tab.AsHTML(true), u"<table id=\"id_empty\" class=\"hidden\">\r\n</table>\r\n");
}

TEST(TTabInfo, HasNoRenderingWithoutTheHiddenFlag) {
  const TTabInfo tab(u"flight", u"Flight", u"black");
  const TPageItem& item = tab;
  EXPECT_THROW(item.AsHTML(), EAbstractError);
}

TEST(TTabInfo, PropertiesFeedTheRendering) {
  TTabInfo tab(u"a", u"A", u"red");
  tab.SetId(u"b");
  tab.SetText(u"B");
  tab.SetColor(u"blue");
  tab.SetCommand(u"hide");
  tab.SetOnClick(u"f()");
  EXPECT_EQ(tab.AsTabsHTML(), u"<td command=\"hide\" subject=\"b\" onclick=\"f()\" class=\"background-blue\">B</td>");
  EXPECT_EQ(tab.AsHTML(false), u"<table id=\"id_b\" >\r\n</table>\r\n");
}

TEST(TButtonButtons, RendersTheWorkedExample) {
  const TButtonButtonsDown cell({1, 5}, u"Left / Forward", u"red", 1);
  EXPECT_EQ(cell.AsHTML(),
            u"<td colspan=\"1\" action=\"buttonsdown\" key=\",1,5\" class=\"background-red\">Left / Forward</td>");
}

TEST(TButtonButtons, EachSubclassNamesItsAction) {
  EXPECT_EQ(TButtonButtonsDown({3}, u"t", u"c", 1).AsHTML(),
            u"<td colspan=\"1\" action=\"buttonsdown\" key=\",3\" class=\"background-c\">t</td>");
  EXPECT_EQ(TButtonButtonsUp({3}, u"t", u"c", 1).AsHTML(),
            u"<td colspan=\"1\" action=\"buttonsup\" key=\",3\" class=\"background-c\">t</td>");
  EXPECT_EQ(TButtonButtonsPress({3}, u"t", u"c", 1).AsHTML(),
            u"<td colspan=\"1\" action=\"buttonspress\" key=\",3\" class=\"background-c\">t</td>");
}

struct IdsCase {
  std::vector<std::int32_t> ids;
  std::u16string text;
};

TEST(TButtonButtons, IdsRenderWithALeadingCommaInStoredOrder) {
  const IdsCase cases[] = {
      {{2, 6}, u",2,6"},
      {{1, 2, 3, 4, 5, 6}, u",1,2,3,4,5,6"},
      {{}, u""},
      {{3, 3}, u",3,3"},
      {{12}, u",12"},
      {{6, 1}, u",6,1"},
      {{0, -7}, u",0,-7"},
      {{INT32_MIN, INT32_MAX}, u",-2147483648,2147483647"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.text));
    const TButtonButtonsPress cell(c.ids, u"x", u"red", 1);
    EXPECT_EQ(cell.ButtonsIds(), c.ids);
    EXPECT_EQ(cell.ButtonsIdsAsString(), c.text);
  }
  EXPECT_EQ(TButtonButtonsUp({}, u"x", u"red", 1).AsHTML(),
            u"<td colspan=\"1\" action=\"buttonsup\" key=\"\" class=\"background-red\">x</td>");
}

TEST(TButtonTitle, CarriesTheColourClassAndSmall) {
  const TButtonTitle cell(u"Thrusters", u"black", 4);
  EXPECT_EQ(cell.AsHTML(), u"<td colspan=\"4\" class=\"background-black small\">Thrusters</td>");
}

TEST(TButtonKeyPress, ConstructorTakesTheKeyFirst) {
  const TButtonKeyPress cell(u"{INS}", u"Toggle Lights", u"green", 3);
  EXPECT_EQ(cell.Key(), u"{INS}");
  EXPECT_EQ(cell.Text(), u"Toggle Lights");
  EXPECT_EQ(cell.Color(), u"green");
  EXPECT_EQ(cell.Colspan(), 3);
  EXPECT_EQ(cell.AsHTML(), u"<td colspan=\"3\" action=\"keypress\" key=\"{INS}\" class=\"background-green\">Toggle Lights</td>");
}

struct CellCase {
  const char* name;
  std::unique_ptr<TButtonBase> cell;
  std::u16string html;
};

// Nothing is validated or escaped: odd colspans, empty texts and markup characters go through.
TEST(TButtonBase, RendersAnyContentUnchanged) {
  std::vector<CellCase> cases;
  cases.push_back({"zero colspan", std::make_unique<TButtonTitle>(u"t", u"c", 0),
                u"<td colspan=\"0\" class=\"background-c small\">t</td>"});
  cases.push_back({"negative colspan", std::make_unique<TButtonKeyPress>(u"k", u"t", u"c", -3),
                u"<td colspan=\"-3\" action=\"keypress\" key=\"k\" class=\"background-c\">t</td>"});
  cases.push_back({"empty texts", std::make_unique<TButtonKeyPress>(u"", u"", u"", 1),
                u"<td colspan=\"1\" action=\"keypress\" key=\"\" class=\"background-\"></td>"});
  cases.push_back({"empty title", std::make_unique<TButtonTitle>(u"", u"", 1),
                u"<td colspan=\"1\" class=\"background- small\"></td>"});
  cases.push_back({"markup in caption", std::make_unique<TButtonTitle>(u"<b>\"A&B\"</b>", u"red", 2),
                u"<td colspan=\"2\" class=\"background-red small\"><b>\"A&B\"</b></td>"});
  cases.push_back({"quote in key", std::make_unique<TButtonKeyPress>(u"\"'<>&", u"q", u"x\" y", 1),
                u"<td colspan=\"1\" action=\"keypress\" key=\"\"'<>&\" class=\"background-x\" y\">q</td>"});
  cases.push_back({"markup in joystick caption", std::make_unique<TButtonButtonsDown>(std::vector<std::int32_t>{1},
                                                                                   u"a<br>b", u"red", 1),
                u"<td colspan=\"1\" action=\"buttonsdown\" key=\",1\" class=\"background-red\">a<br>b</td>"});
  cases.push_back({"large colspan", std::make_unique<TButtonTitle>(u"t", u"c", INT32_MAX),
                u"<td colspan=\"2147483647\" class=\"background-c small\">t</td>"});
  cases.push_back({"non-ASCII caption", std::make_unique<TButtonTitle>(u"Schub \u2192 \U0001F680", u"c", 1),
                u"<td colspan=\"1\" class=\"background-c small\">Schub \u2192 \U0001F680</td>"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.cell->AsHTML(), c.html);
  }
}

TEST(TTabInfo, MarkupInIdAndCaptionIsCopiedUnchanged) {
  const TTabInfo tab(u"a\"b", u"<i>T</i>", u"x");
  EXPECT_EQ(tab.AsTabsHTML(), u"<td command=\"show\" subject=\"a\"b\" onclick=\"docommand(this)\" class=\"background-x\"><i>T</i></td>");
  EXPECT_EQ(tab.AsHTML(false), u"<table id=\"id_a\"b\" >\r\n</table>\r\n");
}

TEST(TButtonRow, WithoutCellsRendersNothing) {
  const TButtonRow row;
  EXPECT_EQ(row.AsHTML(), u"");
}

TEST(TButtonRow, PutsEveryCellOnALineOfItsOwn) {
  TButtonRow row;
  AddCell<TButtonTitle>(row, u"a", u"c", 1);
  AddCell<TButtonButtonsPress>(row, std::vector<std::int32_t>{9}, u"b", u"c", 1);
  EXPECT_EQ(row.AsHTML(), CrLfLines({
                              u"<tr>",
                              u"<td colspan=\"1\" class=\"background-c small\">a</td>",
                              u"<td colspan=\"1\" action=\"buttonspress\" key=\",9\" class=\"background-c\">b</td>",
                              u"</tr>",
                          }));
}

TEST(TButtonRows, FollowsEveryRowWithALineBreak) {
  TButtonRows rows;
  EXPECT_EQ(rows.AsHTML(), u"");
  rows.AddButtonRow();
  EXPECT_EQ(rows.AsHTML(), u"\r\n");
  TButtonRow& second = rows.AddButtonRow();
  AddCell<TButtonTitle>(second, u"t", u"c", 1);
  rows.AddButtonRow();
  EXPECT_EQ(rows.AsHTML(), u"\r\n<tr>\r\n<td colspan=\"1\" class=\"background-c small\">t</td>\r\n</tr>\r\n\r\n\r\n");
}

TEST(TButtonRows, AddButtonRowAppendsAndKeepsOwnership) {
  TButtonRows rows;
  TButtonRow& first = rows.AddButtonRow();
  TButtonRow& second = rows.AddButtonRow();
  EXPECT_EQ(rows.Count(), 2);
  EXPECT_EQ(&rows.Items(0), &first);
  EXPECT_EQ(&rows.Items(1), &second);
  EXPECT_THROW(rows.Items(2), EListError);
  EXPECT_THROW(rows.Items(-1), EListError);
}

TEST(TTabInfos, AddTabAppendsInOrder) {
  TTabInfos tabs;
  tabs.AddTab(u"a", u"A", u"red");
  TTabInfo& b = tabs.AddTab(u"b", u"B", u"blue");
  ASSERT_EQ(tabs.Count(), 2);
  EXPECT_EQ(tabs.Items(0).Id(), u"a");
  EXPECT_EQ(&tabs.Items(1), &b);
  EXPECT_EQ(b.Color(), u"blue");
}

// Counts its own destruction, to see that the owners destroy their entries.
class TCountedTitle : public TButtonTitle {
 public:
  explicit TCountedTitle(int& destroyed) : TButtonTitle(u"t", u"c", 1), FDestroyed(destroyed) {}
  ~TCountedTitle() override { ++FDestroyed; }

 private:
  int& FDestroyed;
};

TEST(TPageModel, OwnsAndDestroysTheWholeTree) {
  int destroyed = 0;
  {
    TPageModel page;
    page.GenericPartPrefix().AddButtonRow().Buttons().Add(std::make_unique<TCountedTitle>(destroyed));
    page.GenericPartPostfix().AddButtonRow().Buttons().Add(std::make_unique<TCountedTitle>(destroyed));
    TButtonRow& row = page.TabInfos().AddTab(u"a", u"A", u"c").ButtonRows().AddButtonRow();
    row.Buttons().Add(std::make_unique<TCountedTitle>(destroyed));
    row.Buttons().Add(std::make_unique<TCountedTitle>(destroyed));
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 4);
}

// ---- Page assembly --------------------------------------------------------------------

TEST(TPageInfo, StartsEmpty) {
  const TPageInfo page;
  EXPECT_EQ(page.PageTitle(), u"");
  EXPECT_EQ(page.VirtualJoystickId(), 0);
  EXPECT_EQ(page.WebServerPortNr(), 0);
  EXPECT_EQ(page.Model()->TabInfos().Count(), 0);
  EXPECT_EQ(page.Model()->GenericPartPrefix().Count(), 0);
  EXPECT_EQ(page.Model()->GenericPartPostfix().Count(), 0);
  EXPECT_EQ(page.GetHTML(), u"");
  EXPECT_EQ(page.GetScript(), u"");
  EXPECT_EQ(page.GetStyles(), u"");
}

TEST(TPageInfo, SettingsAreReadWrite) {
  TPageInfo page;
  page.SetPageTitle(u"T");
  page.SetVirtualJoystickId(-5);
  page.SetWebServerPortNr(65535);
  EXPECT_EQ(page.PageTitle(), u"T");
  EXPECT_EQ(page.VirtualJoystickId(), -5);
  EXPECT_EQ(page.WebServerPortNr(), 65535);
}

// The page of the worked example: one prefix row with one key cell, the "flight" tab.
void FillExamplePage(TPageModel& page) {
  AddCell<TButtonKeyPress>(page.GenericPartPrefix().AddButtonRow(), u"l", u"Toggle Landing Gear", u"green", 1);
  AddFlightTab(page.TabInfos());
}

TEST(TPageInfo, GetHTMLRendersTheWorkedExample) {
  TPageInfo page;
  page.SetModel(ModelOf(FillExamplePage));
  EXPECT_EQ(page.GetHTML(),
            CrLfLines({
                u"<table><tr>",
                u"<td command=\"show\" subject=\"flight\" onclick=\"docommand(this)\" class=\"background-black\">Flight</td>",
                u"</tr></table>",
                u"<table>",
                u"<tr>",
                u"<td colspan=\"1\" action=\"keypress\" key=\"l\" class=\"background-green\">Toggle Landing Gear</td>",
                u"</tr>",
                u"",
                u"",
                u"</table>",
                u"<table id=\"id_flight\" >",
                u"<tr>",
                u"<td colspan=\"1\" action=\"keypress\" key=\"z\" class=\"background-green\">Toggle Flight Assist</td>",
                u"<td colspan=\"1\" action=\"keypress\" key=\"{TAB}\" class=\"background-green\">Engine Boost</td>",
                u"</tr>",
                u"",
                u"</table>",
                u"",
            }));
}

TEST(TPageModel, OnlyTheFirstTabsTableIsVisibleAndPostfixComesLast) {
  TPageModel page;
  page.TabInfos().AddTab(u"a", u"A", u"red");
  page.TabInfos().AddTab(u"b", u"B", u"red");
  page.TabInfos().AddTab(u"c", u"C", u"red");
  AddCell<TButtonTitle>(page.GenericPartPostfix().AddButtonRow(), u"end", u"blue", 1);
  EXPECT_EQ(page.GetHTML(),
            CrLfLines({
                u"<table><tr>",
                u"<td command=\"show\" subject=\"a\" onclick=\"docommand(this)\" class=\"background-red\">A</td>",
                u"<td command=\"show\" subject=\"b\" onclick=\"docommand(this)\" class=\"background-red\">B</td>",
                u"<td command=\"show\" subject=\"c\" onclick=\"docommand(this)\" class=\"background-red\">C</td>",
                u"</tr></table>",
                u"<table id=\"id_a\" >",
                u"</table>",
                u"",
                u"<table id=\"id_b\" class=\"hidden\">",
                u"</table>",
                u"",
                u"<table id=\"id_c\" class=\"hidden\">",
                u"</table>",
                u"",
                u"<table>",
                u"<tr>",
                u"<td colspan=\"1\" class=\"background-blue small\">end</td>",
                u"</tr>",
                u"",
                u"",
                u"</table>",
            }));
}

TEST(TPageModel, WithoutTabsOnlyThePrefixAndPostfixTablesRemain) {
  TPageModel page;
  page.GenericPartPrefix().AddButtonRow();
  page.GenericPartPostfix().AddButtonRow();
  page.GenericPartPostfix().AddButtonRow();
  EXPECT_EQ(page.GetHTML(), u"<table>\r\n\r\n\r\n</table>\r\n<table>\r\n\r\n\r\n\r\n</table>\r\n");
}

// ---- Filling the template -------------------------------------------------------------

// A page with the title "Title", a one-cell panel and the companion files loaded from a
// temporary directory.
class ReplaceStringsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page.SetPageTitle(u"Title");
    page.SetModel(ModelOf([](TPageModel& m) { AddCell<TButtonTitle>(m.GenericPartPrefix().AddButtonRow(), u"cap", u"c", 1); }));
    dir.Write("script.js", "s1\n$$PageTitle$$\n");
    dir.Write("styles.css", "c1");
    page.LoadExternalFiles(dir.Base());
  }

  std::u16string Replaced(std::u16string line) {
    TStrings lines;
    lines.Add(std::move(line));
    page.ReplaceStrings(lines);
    EXPECT_EQ(lines.Count(), 1);
    return lines.Strings(0);
  }

  TempDir dir;
  TPageInfo page;
};

struct ReplaceCase {
  const char16_t* line;
  std::u16string result;
};

TEST_F(ReplaceStringsTest, FillsEveryPlaceholderInAnyLetterCase) {
  const std::u16string html = page.GetHTML();
  const std::u16string script = u"s1\r\n$$PageTitle$$\r\n";
  const std::u16string styles = u"c1\r\n";
  const ReplaceCase cases[] = {
      {u"$$PageTitle$$", u"Title"},
      {u"<title>$$PAGETITLE$$</title>", u"<title>Title</title>"},
      {u"$$pagetitle$$ and $$PageTitle$$", u"Title and Title"},
      {u"$$html$$", html},
      {u"<div>$$HTML$$</div>", u"<div>" + html + u"</div>"},
      {u"<script>$$Script$$</script>", u"<script>" + script + u"</script>"},
      {u"$$STYLES$$$$styles$$", styles + styles},
      {u"$$PageTitle$$|$$HTML$$|$$SCRIPT$$|$$STYLES$$", u"Title|" + html + u"|" + script + u"|" + styles},
      // Occurrences are taken left to right and never overlap.
      {u"$$$PageTitle$$$", u"$Title$"},
      {u"$$PageTitle$$PageTitle$$", u"TitlePageTitle$$"},
      // "$$" that belongs to no placeholder is left alone.
      {u"$$", u"$$"},
      {u"price $$ 5 $$", u"price $$ 5 $$"},
      {u"$$PageTitle$", u"$$PageTitle$"},
      {u"$ $PageTitle$ $", u"$ $PageTitle$ $"},
      {u"no placeholder", u"no placeholder"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.line));
    EXPECT_EQ(Replaced(c.line), c.result);
  }
}

TEST_F(ReplaceStringsTest, APlaceholderInsideAValueStaysText) {
  // A panel's title or caption cannot pull the script or the styles into the page.
  page.SetPageTitle(u"A $$STYLES$$ B $$html$$");
  EXPECT_EQ(Replaced(u"$$PageTitle$$"), u"A $$STYLES$$ B $$html$$");
  EXPECT_EQ(Replaced(u"$$PageTitle$$ $$STYLES$$"), u"A $$STYLES$$ B $$html$$ c1\r\n");
}

TEST_F(ReplaceStringsTest, NeverSearchesItsOwnInsertionAgain) {
  page.SetPageTitle(u"$$PageTitle$$");
  EXPECT_EQ(Replaced(u"$$PageTitle$$ $$PageTitle$$"), u"$$PageTitle$$ $$PageTitle$$");
  // The script is inserted after the title step, so the title placeholder inside it stays.
  EXPECT_EQ(Replaced(u"$$SCRIPT$$"), u"s1\r\n$$PageTitle$$\r\n");
}

TEST_F(ReplaceStringsTest, KeepsTheNumberOfLines) {
  TStrings lines;
  lines.Add(u"<html>");
  lines.Add(u"$$HTML$$");
  lines.Add(u"$$SCRIPT$$ $$STYLES$$");
  lines.Add(u"$$");
  lines.Add(u"</html>");
  page.ReplaceStrings(lines);
  ASSERT_EQ(lines.Count(), 5);
  EXPECT_EQ(lines.Strings(0), u"<html>");
  EXPECT_EQ(lines.Strings(1), page.GetHTML());
  EXPECT_EQ(lines.Strings(2), u"s1\r\n$$PageTitle$$\r\n c1\r\n");
  EXPECT_EQ(lines.Strings(3), u"$$");
  EXPECT_EQ(lines.Strings(4), u"</html>");
}

TEST_F(ReplaceStringsTest, EmptyListStaysEmpty) {
  TStrings lines;
  page.ReplaceStrings(lines);
  EXPECT_EQ(lines.Count(), 0);
}

// ---- Companion files ------------------------------------------------------------------

// A page object and the directory its companion files are read from.
class TPageInfoLoadExternalFiles : public ::testing::Test {
 protected:
  void Load() { page.LoadExternalFiles(dir.Base()); }

  TempDir dir;
  TPageInfo page;
};

TEST_F(TPageInfoLoadExternalFiles, NeverPresentGivesEmptyTexts) {
  Load();
  EXPECT_EQ(page.GetScript(), u"");
  EXPECT_EQ(page.GetStyles(), u"");
  TStrings lines;
  lines.Add(u"<script>$$SCRIPT$$</script>");
  page.ReplaceStrings(lines);
  EXPECT_EQ(lines.Strings(0), u"<script></script>");
}

TEST_F(TPageInfoLoadExternalFiles, ReloadsChangesAndKeepsTheLastLoadWhenDeleted) {
  dir.Write("script.js", "var a;\nvar b;");
  dir.Write("styles.css", "\xEF\xBB\xBF" "p { content: \"\xE2\x86\x92\"; }\r\n");
  Load();
  EXPECT_EQ(page.GetScript(), u"var a;\r\nvar b;\r\n");
  EXPECT_EQ(page.GetStyles(), u"p { content: \"\u2192\"; }\r\n");

  dir.Write("script.js", "var c;\r\n");
  Load();
  EXPECT_EQ(page.GetScript(), u"var c;\r\n");

  dir.Remove("script.js");
  dir.Remove("styles.css");
  Load();
  EXPECT_EQ(page.GetScript(), u"var c;\r\n");
  EXPECT_EQ(page.GetStyles(), u"p { content: \"\u2192\"; }\r\n");

  dir.Write("styles.css", "");
  Load();
  EXPECT_EQ(page.GetStyles(), u"");
}

TEST_F(TPageInfoLoadExternalFiles, NamesAreThePlainConcatenation) {
  dir.Write("pre-script.js", "x");
  dir.Write("script.js", "not this one");
  page.LoadExternalFiles(dir.Base() + u"pre-");
  EXPECT_EQ(page.GetScript(), u"x\r\n");
  EXPECT_EQ(page.GetStyles(), u"");
}

TEST_F(TPageInfoLoadExternalFiles, ADirectoryCountsAsMissing) {
  std::filesystem::create_directory(dir.Path() / "script.js");
  dir.Write("styles.css", "s");
  Load();
  EXPECT_EQ(page.GetScript(), u"");
  EXPECT_EQ(page.GetStyles(), u"s\r\n");
}

TEST_F(TPageInfoLoadExternalFiles, UnopenableScriptRaisesAndStopsTheReload) {
  dir.Write("script.js", "old script");
  dir.Write("styles.css", "old styles");
  Load();

  dir.Remove("script.js");
  dir.Write("styles.css", "new styles");
  TUnopenableFile locked(dir.Path() / "script.js");
  if (!locked.Ok()) GTEST_SKIP() << "this system cannot make a file that exists but cannot be opened";
  const std::u16string name = dir.Base() + u"script.js";
  try {
    Load();
    FAIL() << "expected EFOpenError";
  } catch (const EFOpenError& e) {
    const std::u16string prefix = u"Cannot open file \"" + name + u"\". ";
    EXPECT_TRUE(e.Message().starts_with(prefix)) << e.what();
    EXPECT_GT(e.Message().size(), prefix.size()) << "the system's error text is missing";
  }
  EXPECT_EQ(page.GetScript(), u"old script\r\n");
  EXPECT_EQ(page.GetStyles(), u"old styles\r\n");
}

TEST_F(TPageInfoLoadExternalFiles, UnopenableStylesRaiseAfterTheScriptIsReloaded) {
  dir.Write("script.js", "new script");
  TUnopenableFile locked(dir.Path() / "styles.css");
  if (!locked.Ok()) GTEST_SKIP() << "this system cannot make a file that exists but cannot be opened";
  EXPECT_THROW(page.LoadExternalFiles(dir.Base()), EFOpenError);
  EXPECT_EQ(page.GetScript(), u"new script\r\n");
  EXPECT_EQ(page.GetStyles(), u"");
}

TEST_F(TPageInfoLoadExternalFiles, InvalidUtf8AfterTheMarkKeepsThePreviousLines) {
  dir.Write("script.js", "good");
  Load();
  dir.Write("script.js", "\xEF\xBB\xBF" "bad \xC3(");
  try {
    Load();
    FAIL() << "expected EEncodingError";
  } catch (const EEncodingError& e) {
    EXPECT_EQ(e.Message(), u"No mapping for the Unicode character exists in the target multi-byte code page");
  }
  EXPECT_EQ(page.GetScript(), u"good\r\n");
  // The same bad bytes again still fail: only a successful load is remembered.
  EXPECT_THROW(Load(), EEncodingError);
  EXPECT_EQ(page.GetScript(), u"good\r\n");
}

TEST_F(TPageInfoLoadExternalFiles, AnEditOfTheSameSizeIsPickedUpAtOnce) {
  dir.Write("script.js", "var a;");
  Load();
  dir.Write("script.js", "var b;");
  Load();
  EXPECT_EQ(page.GetScript(), u"var b;\r\n");
  // Same bytes in another encoding's clothing: a mark changes the bytes, so they reload too.
  dir.Write("script.js", "\xEF\xBB\xBFvar b;");
  Load();
  EXPECT_EQ(page.GetScript(), u"var b;\r\n");
  dir.Write("script.js", "var \xE9;");
  Load();
  EXPECT_EQ(page.GetScript(), u"var \u00E9;\r\n");
}

// ---- A whole template directory -------------------------------------------------------

// What the page route does with a directory: template, companion files, filling, bytes.
std::string RenderDirectory(const TempDir& dir, TPageInfo& page) {
  TStrings lines;
  lines.LoadFromFile(dir.File("index.html"));
  page.LoadExternalFiles(dir.Base());
  page.ReplaceStrings(lines);
  return lines.SaveToBytes();
}

struct TemplateCase {
  const char* name;
  std::string index;
  std::string styles;
  std::u16string title;
  std::string expected;
};

TEST(TPageInfoTemplate, IsWrittenBackInTheEncodingItWasReadIn) {
  const TemplateCase cases[] = {
      {"UTF-8 with mark keeps every character", "\xEF\xBB\xBF<title>$$PageTitle$$</title>\r\n<style>$$STYLES$$</style>\r\n",
       "\xEF\xBB\xBFp::after { content: \"\xE2\x86\x92\"; }", u"Tapdeck \u2713 \u00E9",
       "\xEF\xBB\xBF<title>Tapdeck \xE2\x9C\x93 \xC3\xA9</title>\r\n"
       "<style>p::after { content: \"\xE2\x86\x92\"; }\r\n</style>\r\n"},
      {"UTF-8 without mark goes out in the ANSI code page",
       "<p>caf\xC3\xA9</p>\r\n<title>$$PageTitle$$</title>\r\n<style>$$STYLES$$</style>\r\n",
       "\xEF\xBB\xBFp::after { content: \"\xE2\x86\x92\"; }", u"Tapdeck \u2713 \u00E9 \u20AC",
       // The template's own bytes survive as the code page's characters; inserted characters
       // the code page lacks become "?".
       "<p>caf\xC3\xA9</p>\r\n<title>Tapdeck ? \xE9 \x80</title>\r\n<style>p::after { content: \"?\"; }\r\n</style>\r\n"},
      {"line feeds only, last line unterminated", "a\n<title>$$PageTitle$$</title>\n\nlast", "", u"T",
       "a\r\n<title>T</title>\r\n\r\nlast\r\n"},
      {"UTF-16 without mark ends at the first NUL", std::string("$\0$\0P\0", 6), "", u"T", "$\r\n"},
      {"UTF-16 LE with mark", "\xFF\xFE" + Utf16ToUtf16LE(u"$$PageTitle$$"), "",
       u"\u2713", std::string("\xFF\xFE\x13\x27\r\0\n\0", 8)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.Write("index.html", c.index);
    dir.Write("styles.css", c.styles);
    TPageInfo page;
    page.SetPageTitle(c.title);
    EXPECT_EQ(RenderDirectory(dir, page), c.expected);
  }
}

TEST(TPageInfoTemplate, PanelLineEndsWithThreeLineBreaks) {
  TempDir dir;
  dir.Write("index.html", "<body>\n<div>$$HTML$$</div>\n$$HTML$$\n</body>\n");
  TPageInfo page;
  FillEliteDangerousPage(page);
  const std::u16string html = page.GetHTML();
  const std::string expected = Utf16ToAnsi(u"<body>\r\n<div>" + html + u"</div>\r\n" + html + u"\r\n</body>\r\n");
  const std::string bytes = RenderDirectory(dir, page);
  EXPECT_EQ(bytes, expected);
  EXPECT_NE(bytes.find("</table>\r\n\r\n\r\n</body>\r\n"), std::string::npos);
}

// ---- Assembled pages ------------------------------------------------------------------

// Two page objects alike, one assembling pages, the other filling every template afresh the
// way RenderDirectory does: after each step both must give the same bytes.
class TPageInfoAssemble : public ::testing::Test {
 protected:
  void SetUp() override {
    for (TPageInfo* p : {&page, &fresh}) {
      FillEliteDangerousPage(*p);
      p->SetPageTitle(u"Deck");
    }
    dir.Write("index.html", "<title>$$PageTitle$$</title>\n<script>$$SCRIPT$$</script>|$$STYLES$$\n$$HTML$$\n");
    dir.Write("script.js", "var s1;");
    dir.Write("styles.css", "p.c1 {}");
  }

  std::shared_ptr<const std::string> Assemble() {
    return page.AssemblePage(dir.Base(), ReadFileBytes(dir.File("index.html")));
  }
  // Both objects' page for the directory as it is now; checks they agree.
  std::string Both() {
    const std::string assembled = *Assemble();
    const std::string filled = RenderDirectory(dir, fresh);
    EXPECT_EQ(assembled, filled);
    return assembled;
  }

  TempDir dir;
  TPageInfo page;
  TPageInfo fresh;
};

struct TAssembleStep {
  const char* what;
  std::function<void(TempDir&, TPageInfo&)> change;  // applied to the directory and to each object
  std::string expectedPart;                           // must be in the page after the change
};

TEST_F(TPageInfoAssemble, EveryChangeShowsAtTheNextRequestAndAgreesWithAFreshFill) {
  const auto write = [](const char* name, const char* bytes) {
    return [=](TempDir& d, TPageInfo&) { d.Write(name, bytes); };
  };
  const auto remove = [](const char* name) { return [=](TempDir& d, TPageInfo&) { d.Remove(name); }; };
  const TAssembleStep steps[] = {
      {"nothing changed", [](TempDir&, TPageInfo&) {}, "<script>var s1;\r\n</script>|p.c1 {}\r\n"},
      {"template edited, same size",
       write("index.html", "<TITLE>$$PageTitle$$</TITLE>\n<script>$$SCRIPT$$</script>|$$STYLES$$\n$$HTML$$\n"),
       "<TITLE>Deck</TITLE>"},
      {"script edited, same size", write("script.js", "var s2;"), "<script>var s2;\r\n</script>"},
      {"styles edited, same size", write("styles.css", "p.c2 {}"), "|p.c2 {}\r\n"},
      {"script removed keeps its last lines", remove("script.js"), "<script>var s2;\r\n</script>"},
      {"styles removed keep their last lines", remove("styles.css"), "|p.c2 {}\r\n"},
      {"script back in an earlier version", write("script.js", "var s1;"), "<script>var s1;\r\n</script>"},
      {"styles back as an empty file", write("styles.css", ""), "</script>|\r\n"},
      {"template back in its first version",
       write("index.html", "<title>$$PageTitle$$</title>\n<script>$$SCRIPT$$</script>|$$STYLES$$\n$$HTML$$\n"),
       "<title>Deck</title>"},
      {"template saved with a mark", write("index.html", "\xEF\xBB\xBF<b>$$PageTitle$$ \xE2\x86\x92</b>"),
       "\xEF\xBB\xBF<b>Deck \xE2\x86\x92</b>\r\n"},
      {"title set", [](TempDir&, TPageInfo& p) { p.SetPageTitle(u"Other \u2713"); },
       "<b>Other \xE2\x9C\x93 \xE2\x86\x92</b>"},
      {"template shows the panel", write("index.html", "$$HTML$$"), "id_flight"},
      {"model changed",
       [](TempDir&, TPageInfo& p) {
         p.SetModel(ModelOf([](TPageModel& m) {
           FillEliteDangerousModel(m);
           m.TabInfos().AddTab(u"extra", u"Extra", u"red");
         }));
       },
       "subject=\"extra\""},
      {"the same model again", [](TempDir&, TPageInfo& p) { p.SetModel(p.Model()); }, "subject=\"extra\""},
      {"another model alike", [](TempDir&, TPageInfo& p) { p.SetModel(ModelOf(FillEliteDangerousModel)); },
       "subject=\"ui\""},
      {"template without placeholders", write("index.html", "<p>plain</p>"), "<p>plain</p>\r\n"},
  };
  for (const TAssembleStep& step : steps) {
    SCOPED_TRACE(step.what);
    step.change(dir, page);
    step.change(dir, fresh);
    const std::string bytes = Both();
    EXPECT_NE(bytes.find(step.expectedPart), std::string::npos) << bytes.substr(0, 300);
    // Asked again with nothing changed, the page is the same.
    EXPECT_EQ(Both(), bytes);
  }
}

TEST_F(TPageInfoAssemble, AnUnchangedPageIsReusedNotFilledAgain) {
  const auto first = Assemble();
  EXPECT_EQ(Assemble().get(), first.get());
  dir.Write("script.js", "var s2;");
  EXPECT_NE(Assemble().get(), first.get());
}

TEST_F(TPageInfoAssemble, ABrokenTemplateFailsBeforeTheCompanionFilesAreReloaded) {
  const std::string good = Both();
  dir.Write("index.html", "\xEF\xBB\xBF<p>\xFF</p>");
  dir.Write("script.js", "var s2;");
  EXPECT_THROW(Assemble(), EEncodingError);
  EXPECT_EQ(page.GetScript(), u"var s1;\r\n");
  // Repaired, it is filled with what the files hold now.
  dir.Write("index.html", "<title>$$PageTitle$$</title>\n<script>$$SCRIPT$$</script>|$$STYLES$$\n$$HTML$$\n");
  const std::string repaired = Both();
  EXPECT_NE(repaired, good);
  EXPECT_NE(repaired.find("var s2;"), std::string::npos);
}

TEST_F(TPageInfoAssemble, ABrokenCompanionFileFailsEveryRequestUntilRepaired) {
  const std::string good = Both();
  dir.Write("styles.css", "\xEF\xBB\xBF" "bad \xC3(");
  EXPECT_THROW(Assemble(), EEncodingError);
  EXPECT_THROW(Assemble(), EEncodingError);
  dir.Remove("styles.css");
  // Missing again: the lines of the last successful load, so the page from before.
  EXPECT_EQ(*Assemble(), good);
  dir.Write("styles.css", "p.c3 {}");
  EXPECT_NE(Both().find("|p.c3 {}\r\n"), std::string::npos);
}

TEST_F(TPageInfoAssemble, AnUnopenableCompanionFileFailsInsteadOfServingTheLastPage) {
  Both();
  dir.Remove("script.js");
  dir.Write("styles.css", "p.c2 {}");
  TUnopenableFile locked(dir.Path() / "script.js");
  if (!locked.Ok()) GTEST_SKIP() << "this system cannot make a file that exists but cannot be opened";
  EXPECT_THROW(Assemble(), EFOpenError);
  // The styles after a failed script are not reloaded, as LoadExternalFiles does it.
  EXPECT_EQ(page.GetStyles(), u"p.c1 {}\r\n");
  // A broken template fails first, whatever the companion files hold.
  dir.Write("index.html", "\xEF\xBB\xBF\xFF");
  EXPECT_THROW(Assemble(), EEncodingError);
}

// ---- Requests at once -----------------------------------------------------------------

// Version v of a companion file: a few lines, each naming the file and the version.
std::string CompanionText(const char* kind, int version) {
  std::string text;
  for (int i = 0; i <= version % 7; ++i) text += std::string(kind) + " " + std::to_string(version) + "\n";
  return text;
}

// The version a whole companion text holds, or -1 when it is torn or mixed.
int VersionOf(const std::u16string& text, const char* kind) {
  const std::string bytes = Utf16ToUtf8(text);
  const std::string prefix = std::string(kind) + " ";
  if (!bytes.starts_with(prefix)) return -1;
  const int version = std::atoi(bytes.c_str() + prefix.size());
  std::string expected = CompanionText(kind, version);
  std::string withCrLf;
  for (const char ch : expected) withCrLf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  return bytes == withCrLf ? version : -1;
}

// Replaces a file in one step, as an editor that saves through a temporary file does.
void ReplaceFile(const TempDir& dir, const char* name, const std::string& bytes) {
  const std::string temporary = std::string(name) + ".tmp";
  dir.Write(temporary, bytes);
  std::filesystem::rename(dir.Path() / temporary, dir.Path() / name);
}

// The four parts of one request's page: script, styles, "<p>" script "</p>", styles; none
// when the page did not come out in four parts.
using TPageParts = std::optional<std::array<std::u16string, 4>>;

// Four threads make 150 requests each while another thread keeps replacing both companion
// files with newer versions. Every request must see one whole load in all its parts, and a
// thread's loads must never go back in time. The number of requests that did not.
int InconsistentRequestsWhileRewriting(const TempDir& dir, const std::function<TPageParts()>& request) {
  ReplaceFile(dir, "script.js", CompanionText("script", 0));
  ReplaceFile(dir, "styles.css", CompanionText("styles", 0));
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int version = 1; !stop.load(); ++version) {
      ReplaceFile(dir, "script.js", CompanionText("script", version));
      ReplaceFile(dir, "styles.css", CompanionText("styles", version));
    }
  });

  constexpr int kThreads = 4;
  constexpr int kRequests = 150;
  std::vector<std::thread> requests;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t) {
    requests.emplace_back([&] {
      int lastScript = 0;
      for (int r = 0; r < kRequests; ++r) {
        const TPageParts parts = request();
        if (!parts) {
          ++failures;
          continue;
        }
        const auto& [script, styles, paragraph, stylesAgain] = *parts;
        const int scriptVersion = VersionOf(script, "script");
        const int stylesVersion = VersionOf(styles, "styles");
        const bool consistent = scriptVersion >= 0 && stylesVersion >= 0 && paragraph == u"<p>" + script + u"</p>" &&
                                stylesAgain == styles && scriptVersion >= lastScript &&
                                stylesVersion >= scriptVersion - 1;
        if (!consistent) ++failures;
        lastScript = scriptVersion;
      }
    });
  }
  for (auto& thread : requests) thread.join();
  stop = true;
  writer.join();
  return failures.load();
}

TEST(TPageInfoConcurrent, RequestsUnderTheLockSeeOneWholeLoadEach) {
  TAPDECK_SKIP_ON_WINDOWS("replacing a file by renaming over it while readers hold it open (Windows refuses that)");
  TempDir dir;
  TPageInfo page;
  const auto request = [&]() -> TPageParts {
    TStrings lines;
    for (const char16_t* line : {u"$$SCRIPT$$", u"$$STYLES$$", u"<p>$$SCRIPT$$</p>", u"$$STYLES$$"}) lines.Add(line);
    {
      std::lock_guard<std::mutex> lock(page.RequestLock());
      page.LoadExternalFiles(dir.Base());
      page.ReplaceStrings(lines);
    }
    return std::array{lines.Strings(0), lines.Strings(1), lines.Strings(2), lines.Strings(3)};
  };
  EXPECT_EQ(InconsistentRequestsWhileRewriting(dir, request), 0);
}

TEST(TPageInfoConcurrent, AssembledPagesSeeOneWholeLoadEach) {
  TAPDECK_SKIP_ON_WINDOWS("replacing a file by renaming over it while readers hold it open (Windows refuses that)");
  TempDir dir;
  TPageInfo page;
  const auto request = [&]() -> TPageParts {
    const std::u16string text =
        AnsiToUtf16(*page.AssemblePage(dir.Base(), "$$SCRIPT$$|$$STYLES$$|<p>$$SCRIPT$$</p>|$$STYLES$$"));
    std::vector<std::u16string> parts;
    for (std::size_t start = 0;;) {
      const std::size_t bar = text.find(u'|', start);
      parts.push_back(text.substr(start, bar == std::u16string::npos ? bar : bar - start));
      if (bar == std::u16string::npos) break;
      start = bar + 1;
    }
    // The page's one line ends with its line break.
    if (parts.size() != 4 || !parts[3].ends_with(u"\r\n")) return {};
    parts[3].resize(parts[3].size() - 2);
    return std::array{parts[0], parts[1], parts[2], parts[3]};
  };
  EXPECT_EQ(InconsistentRequestsWhileRewriting(dir, request), 0);
}

// A request whose read of a companion file began before a newer read that is already in the
// lines does not put its older bytes in: its page and every later one keep the newer lines,
// also when the file is gone afterwards.
TEST(TPageInfoConcurrent, AReadOlderThanTheLinesIsNotPutIn) {
  TempDir dir;
  TPageInfo page;
  TGatedFile gate(dir.Path() / "script.js");
  if (!gate.Ok()) GTEST_SKIP() << "this system cannot make a file whose reader waits";
  std::string older;
  std::unique_lock lock(page.RequestLock());
  std::thread request([&] { older = *page.AssemblePage(dir.Base(), "$$SCRIPT$$"); });
  // Returns once the request is reading the script; it then waits for the lock.
  gate.Release("var old;");
  ReplaceFile(dir, "script.js", "var new;");
  page.LoadExternalFiles(dir.Base());
  dir.Remove("script.js");
  lock.unlock();
  request.join();
  EXPECT_EQ(older, "var new;\r\n\r\n");
  EXPECT_EQ(*page.AssemblePage(dir.Base(), "$$SCRIPT$$"), "var new;\r\n\r\n");
}

}  // namespace
