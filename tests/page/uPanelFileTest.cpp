// Panel files: every member and its default, the escaping between the file and the model,
// each refusal with its message, and files that are not panels at all.

#include "page/uPanelFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/uFiles.h"
#include "base/uText.h"
#include "game/uBindingsWatcher.h"
#include "page/uPageInfo.h"
#include "page/uPageInfoEliteDangerous.h"
#include "tests/support/TempDir.h"

namespace {

std::u16string HTMLOf(const std::string& AFile) { return ParsePanel(AFile, u"panel.json").Model->GetHTML(); }

// The first problem's message, or "(accepted)".
std::string Refusal(const std::string& AFile) {
  try {
    ParsePanel(AFile, u"panel.json");
  } catch (const EPanelError& e) {
    return Utf16ToUtf8(e.Message());
  }
  return "(accepted)";
}

// The refusal of the cell "A" in OneCell's panel.
std::string OfCellA(const std::string& AMessage) { return R"(panel.json: tab "Flight", row 1, cell 1 ("A"): )" + AMessage; }

// A panel of one tab "Flight" whose only row holds ACell.
std::string OneCell(const std::string& ACell) {
  return R"({"tapdeckPanel": 1, "tabs": [{"id": "f", "text": "Flight", "rows": [[)" + ACell + "]]}]}";
}

TEST(PanelFile, EveryCellKindRendersAsTheSameModelBuiltByHand) {
  const std::string file = R"({
    "tapdeckPanel": 1,
    "title": "My Game",
    "above": [[{"text": "Gear", "color": "green", "keys": "l"}]],
    "tabs": [
      {"id": "flight", "text": "Flight", "rows": [[{"text": "Boost", "keys": "{TAB}", "colspan": 2}], []]},
      {"id": "land-2_x", "text": "Landing", "color": "red", "rows": [
        [{"text": "Thrusters", "colspan": 4}],
        [{"text": "Left", "color": "red", "buttonsDown": [1, 5]},
         {"text": "Stop", "color": "blue", "colspan": 2, "buttonsUp": [1, 2, 3, 4, 5, 6]},
         {"text": "Target", "color": "green", "buttonsPress": [128]}]]}
    ],
    "below": [[{"text": "end", "color": "blue"}]]
  })";
  TPageModel expected;
  expected.GenericPartPrefix().AddButtonRow().Buttons().Add(std::make_unique<TButtonKeyPress>(u"l", u"Gear", u"green", 1));
  TTabInfo& flight = expected.TabInfos().AddTab(u"flight", u"Flight", u"black");
  flight.ButtonRows().AddButtonRow().Buttons().Add(std::make_unique<TButtonKeyPress>(u"{TAB}", u"Boost", u"black", 2));
  flight.ButtonRows().AddButtonRow();
  TTabInfo& landing = expected.TabInfos().AddTab(u"land-2_x", u"Landing", u"red");
  landing.ButtonRows().AddButtonRow().Buttons().Add(std::make_unique<TButtonTitle>(u"Thrusters", u"black", 4));
  TButtonRow& row = landing.ButtonRows().AddButtonRow();
  row.Buttons().Add(std::make_unique<TButtonButtonsDown>(std::vector<std::int32_t>{1, 5}, u"Left", u"red", 1));
  row.Buttons().Add(std::make_unique<TButtonButtonsUp>(std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}, u"Stop", u"blue", 2));
  row.Buttons().Add(std::make_unique<TButtonButtonsPress>(std::vector<std::int32_t>{128}, u"Target", u"green", 1));
  expected.GenericPartPostfix().AddButtonRow().Buttons().Add(std::make_unique<TButtonTitle>(u"end", u"blue", 1));

  const TPanel panel = ParsePanel(file, u"panel.json");
  EXPECT_EQ(panel.Title, u"My Game");
  EXPECT_EQ(panel.Model->GetHTML(), expected.GetHTML());
}

TEST(PanelFile, DefaultsTitleColorsColspanAndEmptyParts) {
  const TPanel panel = ParsePanel(OneCell(R"({"text": "Hi"})"), u"panel.json");
  EXPECT_EQ(panel.Title, u"Tapdeck");
  EXPECT_EQ(panel.Model->GetHTML(),
            u"<table><tr>\r\n"
            u"<td command=\"show\" subject=\"f\" onclick=\"docommand(this)\" class=\"background-black\">Flight</td>\r\n"
            u"</tr></table>\r\n"
            u"<table id=\"id_f\" >\r\n<tr>\r\n<td colspan=\"1\" class=\"background-black small\">Hi</td>\r\n</tr>\r\n\r\n"
            u"</table>\r\n\r\n");
  // Rows shown on every tab, and no tab at all.
  EXPECT_EQ(HTMLOf(R"({"tapdeckPanel": 1, "above": [[{"text": "a"}]]})"),
            u"<table>\r\n<tr>\r\n<td colspan=\"1\" class=\"background-black small\">a</td>\r\n</tr>\r\n\r\n\r\n</table>\r\n");
}

TEST(PanelFile, TextsArePlainTextAndKeysKeepWhatTheyType) {
  const TPanel panel = ParsePanel(R"({"tapdeckPanel": 1, "title": "Tom & <Jerry>",
    "tabs": [{"id": "t", "text": "A & B", "rows": [[
      {"text": "Say \"hi\"\n<b>now</b>", "keys": "+&a"},
      {"text": "two\r\nlines", "keys": "\"<>"}]]}]})",
                                  u"panel.json");
  EXPECT_EQ(panel.Title, u"Tom &amp; &lt;Jerry&gt;");
  const std::u16string html = panel.Model->GetHTML();
  EXPECT_NE(html.find(u">A &amp; B</td>"), std::u16string::npos) << Utf16ToUtf8(html);
  EXPECT_NE(html.find(u"key=\"+&amp;a\" class=\"background-black\">Say &quot;hi&quot;<br>&lt;b&gt;now&lt;/b&gt;</td>"),
            std::u16string::npos)
      << Utf16ToUtf8(html);
  EXPECT_NE(html.find(u"key=\"&quot;&lt;&gt;\" class=\"background-black\">two<br>lines</td>"), std::u16string::npos)
      << Utf16ToUtf8(html);
}

// What cells show of the live state, and game actions: as the page receives them, and back to
// a file that reads the same.
TEST(PanelFile, LiveStateAndGameActionCellsRenderAndRoundTrip) {
  const TPanel panel = ParsePanel(R"({"tapdeckPanel": 1,
    "above": [[{"text": "Cargo Scoop", "keys": "{HOME}", "toggle": true},
               {"text": "Cargo Scoop", "toggle": true, "lit": "elite.CargoScoopDeployed"}]],
    "tabs": [{"id": "f", "text": "Flight", "rows": [[
      {"text": "FSD", "action": "elite:HyperSuperCombination", "keys": "j",
       "dim": ["elite.FsdMassLocked", "elite.FsdCooldown"], "lit": "!ets2.Brake"},
      {"text": "Fuel", "value": "{elite.Fuel.FuelMain:0.0} t & <more>", "buttonsHold": [1, 2]},
      {"text": "Gear", "action": "elite:LandingGearToggle", "toggle": false}]]}]})",
                                  u"panel.json");
  const std::u16string html = panel.Model->GetHTML();
  for (const std::u16string cell : {
           u"<td colspan=\"1\" action=\"keypress\" key=\"{HOME}\" lit=\"cell.above.Cargo_Scoop\" "
           u"toggle=\"cell.above.Cargo_Scoop\" class=\"background-black\">Cargo Scoop</td>",
           u"<td colspan=\"1\" lit=\"elite.CargoScoopDeployed\" toggle=\"cell.above.Cargo_Scoop.2\" "
           u"class=\"background-black small\">Cargo Scoop</td>",
           u"<td colspan=\"1\" action=\"gameaction\" key=\"elite:HyperSuperCombination\" keys=\"j\" lit=\"!ets2.Brake\" "
           u"dim=\"elite.FsdMassLocked elite.FsdCooldown\" class=\"background-black\">FSD</td>",
           u"<td colspan=\"1\" action=\"buttonshold\" key=\",1,2\" value=\"{elite.Fuel.FuelMain:0.0} t &amp; &lt;more&gt;\" "
           u"class=\"background-black\">Fuel</td>",
           u"<td colspan=\"1\" action=\"gameaction\" key=\"elite:LandingGearToggle\" class=\"background-black\">Gear</td>"})
    EXPECT_NE(html.find(cell), std::u16string::npos) << Utf16ToUtf8(cell) << "\n" << Utf16ToUtf8(html);
  EXPECT_EQ(panel.Model->GameActions(),
            (std::vector<std::u16string>{u"elite:HyperSuperCombination", u"elite:LandingGearToggle"}));

  const std::string json = PanelJson(panel);
  const TPanel again = ParsePanel(json, u"again.json");
  EXPECT_EQ(Utf16ToUtf8(again.Model->GetHTML()), Utf16ToUtf8(html));
  EXPECT_EQ(PanelJson(again), json);
}

// With the player's bindings file in use, an action it lacks is refused; without one, any
// well-formed name is taken.
TEST(PanelFile, AnActionIsCheckedAgainstThePlayersBindingsFile) {
  TempDir dir;
  dir.Write("Custom.4.0.binds", R"(<?xml version="1.0" encoding="UTF-8" ?>
<Root PresetName="Custom" MajorVersion="4" MinorVersion="0"><KeyboardLayout>en-US</KeyboardLayout>
<LandingGearToggle><Primary Device="Keyboard" Key="Key_L" /><Secondary Device="{NoDevice}" Key="" /></LandingGearToggle>
</Root>)");
  const std::string typo = OneCell(R"({"text": "A", "action": "elite:LandingGearToggel"})");
  const std::string gear = OneCell(R"({"text": "A", "action": "elite:LandingGearToggle"})");
  GetBindings().Set(LoadBindings({dir.File("Custom.4.0.binds"), {}}));
  const std::string withFile[] = {Refusal(typo), Refusal(gear)};
  GetBindings().Set(std::make_shared<const TBindings>(std::u16string(kNoBindingsFolder)));
  EXPECT_EQ(withFile[0], OfCellA(R"(action "elite:LandingGearToggel": the game's bindings ()") +
                             Utf16ToUtf8(dir.File("Custom.4.0.binds")) + R"() have no action "LandingGearToggel")");
  EXPECT_EQ(withFile[1], "(accepted)");
  EXPECT_EQ(Refusal(typo), "(accepted)");
}

TEST(PanelFile, RefusesWithThePlaceInWordsAndTheValue) {
  const struct {
    std::string file;
    std::string message;
  } cases[] = {
      {OneCell(R"({"text": "Engine Boost", "keys": "{BOSST}"})"),
       R"(panel.json: tab "Flight", row 1, cell 1 ("Engine Boost"): keys "{BOSST}": Invalid Key Name)"},
      {OneCell(R"({"text": "A", "keys": "{LEFT x}"})"),
       OfCellA(R"(keys "{LEFT x}": 'X' is not a valid integer value)")},
      {OneCell(R"({"text": "A", "keys": "{TAB"})"), OfCellA(R"(keys "{TAB": No close bracket.)")},
      {OneCell(R"({"text": "A", "keys": ""})"), OfCellA(R"(keys "": must be a key sequence such as "l" or "{F5}")")},
      {OneCell(R"({"text": "A", "keyz": "a"})"), OfCellA(R"(unknown member "keyz")")},
      {OneCell(R"({"keys": "a"})"), R"(panel.json: tab "Flight", row 1, cell 1: text is missing)"},
      {OneCell(R"({"text": 5})"), R"(panel.json: tab "Flight", row 1, cell 1: text 5: must be a text)"},
      {OneCell(R"({"text": "A", "color": "dark red"})"),
       OfCellA(R"(color "dark red": letters, digits, "-" and "_" only)")},
      {OneCell(R"({"text": "A", "colspan": 17})"), OfCellA(R"(colspan 17: must be a whole number from 1 to 16)")},
      {OneCell(R"({"text": "A", "colspan": 0})"), OfCellA(R"(colspan 0: must be a whole number from 1 to 16)")},
      {OneCell(R"({"text": "A", "colspan": 1.5})"), OfCellA(R"(colspan 1.5: must be a whole number from 1 to 16)")},
      {OneCell(R"({"text": "A", "buttonsDown": [1, 129]})"),
       OfCellA(R"(buttonsDown [1,129]: button 129: buttons are numbers from 1 to 128)")},
      {OneCell(R"({"text": "A", "buttonsUp": [0]})"),
       OfCellA(R"(buttonsUp [0]: button 0: buttons are numbers from 1 to 128)")},
      {OneCell(R"({"text": "A", "buttonsPress": [3, 3]})"), OfCellA(R"(buttonsPress [3,3]: button 3 is there twice)")},
      {OneCell(R"({"text": "A", "buttonsPress": []})"),
       OfCellA(R"(buttonsPress []: must be a list of 1 to 32 joystick buttons, numbers from 1 to 128)")},
      {OneCell(R"({"text": "A", "buttonsPress": "7"})"),
       OfCellA(R"(buttonsPress "7": must be a list of 1 to 32 joystick buttons, numbers from 1 to 128)")},
      {OneCell(R"({"text": "A", "keys": "a", "buttonsDown": [1]})"),
       OfCellA(R"(two actions, keys and buttonsDown: a cell has at most one)")},
      // What a cell shows of the live state, and game actions.
      {OneCell(R"({"text": "A", "lit": "elite.NoSuch"})"),
       OfCellA(R"(lit "elite.NoSuch": must name a state, or a list of up to 8, such as "elite.LandingGearDown" or "!elite.LightsOn" (the game has no such state))")},
      {OneCell(R"({"text": "A", "dim": ["elite.FsdCooldown", "!elite.Cooling"]})"),
       OfCellA(R"(dim ["elite.FsdCooldown","!elite.Cooling"]: must name a state, or a list of up to 8, such as "elite.LandingGearDown" or "!elite.LightsOn" (the game has no such state))")},
      {OneCell(R"({"text": "A", "lit": "!"})"),
       OfCellA(R"(lit "!": must name a state, or a list of up to 8, such as "elite.LandingGearDown" or "!elite.LightsOn" (letters, digits, ".", "_" and "-"))")},
      {OneCell(R"({"text": "A", "lit": "!!ets2.Brake"})"),
       OfCellA(R"(lit "!!ets2.Brake": must name a state, or a list of up to 8, such as "elite.LandingGearDown" or "!elite.LightsOn" (letters, digits, ".", "_" and "-"))")},
      {OneCell(R"({"text": "A", "dim": []})"),
       OfCellA(R"(dim []: must name a state, or a list of up to 8, such as "elite.LandingGearDown" or "!elite.LightsOn" (letters, digits, ".", "_" and "-"))")},
      {OneCell(R"({"text": "A", "dim": ["a.1", "a.2", "a.3", "a.4", "a.5", "a.6", "a.7", "a.8", "a.9"]})"),
       OfCellA(R"(dim ["a.1","a.2","a.3","a.4","a.5","a.6","a.7","a.8","a.9"]: must name a state, or a list of up to 8, such as "elite.LandingGearDown" or "!elite.LightsOn" (letters, digits, ".", "_" and "-"))")},
      {OneCell(R"({"text": "A", "value": "Fuel {elite.Fuel.FuelMain t"})"),
       OfCellA(R"(value "Fuel {elite.Fuel.FuelMain t": a "{" without its "}")")},
      {OneCell(R"({"text": "A", "value": "{elite.Fuel} t"})"),
       OfCellA(R"(value "{elite.Fuel} t": no state is called "elite.Fuel")")},
      {OneCell(R"({"text": "A", "value": "{elite.Cargo:0.0000} t"})"),
       OfCellA(R"(value "{elite.Cargo:0.0000} t": format "0.0000": 0, 0.0, 0.00 or 0.000)")},
      {OneCell(R"({"text": "A", "value": ""})"), OfCellA(R"(value "": must be a text of 1 to 80 characters)")},
      {OneCell(R"({"text": "A", "value": 5})"),
       OfCellA(R"(value 5: must be a text such as "Fuel {elite.Fuel.FuelMain:0.0} t")")},
      {OneCell(R"({"text": "A", "toggle": "yes"})"), OfCellA(R"(toggle "yes": must be true or false)")},
      {OneCell(R"({"text": "A", "action": "LandingGearToggle"})"),
       OfCellA(R"(action "LandingGearToggle": must name one of the game's actions, such as "elite:LandingGearToggle")")},
      {OneCell(R"({"text": "A", "action": "elite:Landing Gear"})"),
       OfCellA(R"(action "elite:Landing Gear": must name one of the game's actions, such as "elite:LandingGearToggle")")},
      {OneCell(R"({"text": "A", "action": "elite:"})"),
       OfCellA(R"(action "elite:": must name one of the game's actions, such as "elite:LandingGearToggle")")},
      {OneCell(R"({"text": "A", "action": "elite:LandingGearToggle", "keys": "{GEAR}"})"),
       OfCellA(R"(keys "{GEAR}": Invalid Key Name)")},
      {OneCell(R"({"text": "A", "action": "elite:LandingGearToggle", "buttonsHold": [1]})"),
       OfCellA(R"(two actions, action and buttonsHold: a cell has at most one)")},
      {OneCell(R"({"text": "A", "action": "elite:LandingGearToggle", "keys": "l", "buttonsPress": [1]})"),
       OfCellA(R"(two actions, action and buttonsPress: a cell has at most one)")},
      {OneCell(R"({"text": "A", "buttonsHold": []})"),
       OfCellA(R"(buttonsHold []: must be a list of 1 to 32 joystick buttons, numbers from 1 to 128)")},
      {OneCell(R"({"text": "A", "buttonsHold": [1, 129]})"),
       OfCellA(R"(buttonsHold [1,129]: button 129: buttons are numbers from 1 to 128)")},
      {OneCell(R"({"text": "A", "buttonsHold": [2, 2]})"), OfCellA(R"(buttonsHold [2,2]: button 2 is there twice)")},
      {OneCell(R"("A")"), R"(panel.json: tab "Flight", row 1, cell 1: "A": a cell must be an object with text and at most one action)"},
      {R"({"tapdeckPanel": 1, "tabs": [{"id": "f", "text": "Flight", "rows": [{"text": "A"}]}]})",
       R"(panel.json: tab "Flight", row 1: {"text":"A"}: a row must be a list of cells)"},
      {R"({"tapdeckPanel": 1, "tabs": [{"id": "f", "text": "F", "rows": [[{"text": "a"}]]}, {"id": "f", "text": "G"}]})",
       R"(panel.json: tab "G": id "f": another tab has this id)"},
      {R"({"tapdeckPanel": 1, "tabs": [{"id": "a b", "text": "F", "rows": [[{"text": "a"}]]}]})",
       R"(panel.json: tab "F": id "a b": letters, digits, "-" and "_" only)"},
      {R"({"tapdeckPanel": 1, "tabs": [{"text": "F", "rows": [[{"text": "a"}]]}]})", R"(panel.json: tab "F": id is missing)"},
      {R"({"tapdeckPanel": 1, "tabs": [{"id": "f", "rows": [[{"text": "a"}]]}]})", R"(panel.json: tab 1: text is missing)"},
      {R"({"tapdeckPanel": 1, "tabs": [{"id": "f", "text": "F", "rowz": []}]})", R"(panel.json: tab "F": unknown member "rowz")"},
      {R"({"tapdeckPanel": 1, "tabs": {"id": "f"}})", R"(panel.json: tabs {"id":"f"}: must be a list of tabs)"},
      {R"({"tapdeckPanel": 1, "tabs": [{"id": "f", "text": "F", "rows": {"text": "A"}}]})",
       R"(panel.json: tab "F": rows {"text":"A"}: must be a list of rows)"},
      {R"({"tapdeckPanel": 1, "above": [[{"text": "A", "keys": "{XY}"}]]})",
       R"(panel.json: the rows above the tabs, row 1, cell 1 ("A"): keys "{XY}": Invalid Key Name)"},
      {R"({"tapdeckPanel": 1, "below": [[{"text": "B", "colspan": -1}]]})",
       R"(panel.json: the rows below the tabs, row 1, cell 1 ("B"): colspan -1: must be a whole number from 1 to 16)"},
      {R"({"tapdeckPanel": 2, "above": [[{"text": "A"}]]})", R"(panel.json: tapdeckPanel 2: this program reads panel format 1)"},
      {R"({"tapdeckPanel": "1", "above": [[{"text": "A"}]]})", R"(panel.json: tapdeckPanel "1": this program reads panel format 1)"},
      {R"({"above": [[{"text": "A"}]]})", R"(panel.json: tapdeckPanel is missing: a panel file starts with "tapdeckPanel": 1)"},
      {R"({"tapdeckPanel": 1, "title": ["x"], "above": [[{"text": "A"}]]})", R"(panel.json: title ["x"]: must be a text)"},
      {R"({"tapdeckPanel": 1, "theme": "dark", "above": [[{"text": "A"}]]})", R"(panel.json: unknown member "theme")"},
      {R"({"tapdeckPanel": 1, "tabs": [{"id": "f", "text": "F", "rows": [[]]}]})", R"(panel.json: the panel has no cell at all)"},
      {R"([1, 2])", R"(panel.json: a panel file holds one object, {"tapdeckPanel": 1, ...})"},
      // Files that do not parse: the line and the column, and what was expected there.
      {"{\n  \"tapdeckPanel\": 1,\n  \"title\" \"x\"\n}",
       "panel.json: line 3, column 13: syntax error while parsing object separator - unexpected string literal; "
       "expected ':'"},
      {R"({"tapdeckPanel": 1, "above": [7700058492e6137]})", "panel.json: number overflow parsing '7700058492e6137'"},
      {"", "panel.json: line 1, column 1: syntax error while parsing value - unexpected end of input; expected '[', "
           "'{', or a literal"},
      // A key no keyboard key types reads like an unknown key name.
      {OneCell(R"({"text": "A", "keys": "+\u00e9a"})"),
       "panel.json: tab \"Flight\", row 1, cell 1 (\"A\"): keys \"+\xC3\xA9"
       "a\": Invalid Key Name"},
      // Files that are not text at all, and text in another encoding than UTF-8.
      {std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), "panel.json: this is not a panel file (not text)"},
      {"\xFF\xD8\xFF\xE0", "panel.json: this is not a panel file (not text)"},
      {std::string("{\"tapdeckPanel\": 1,\0}", 21), "panel.json: this is not a panel file (not text)"},
      {std::string("\xFF\xFE{\0", 4), "panel.json: this panel file is UTF-16 text: save it as UTF-8"},
      {"{\"tapdeckPanel\": 1, \"title\": \"\xFF\"}",
       "panel.json: line 1, column 31: syntax error while parsing value - invalid string: ill-formed UTF-8 byte; last "
       "read: '\"\xEF\xBF\xBD'"},  // the byte as the replacement character
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(Refusal(c.file), c.message);
  }
}

TEST(PanelFile, TheLimitsThemselvesAreAccepted) {
  std::string buttons;
  for (int id = 97; id <= 128; ++id) buttons += (buttons.empty() ? "" : ",") + std::to_string(id);
  EXPECT_EQ(Refusal(OneCell(R"({"text": "A", "buttonsPress": [)" + buttons + "]}")), "(accepted)");
  EXPECT_TRUE(Refusal(OneCell(R"({"text": "A", "buttonsDown": [)" + buttons + ",1]}"))
                  .ends_with("...: must be a list of 1 to 32 joystick buttons, numbers from 1 to 128"));
  EXPECT_EQ(Refusal(OneCell(R"({"text": "A", "colspan": 16})")), "(accepted)");
}

// What the editor sends and saves: a model written as a panel file reads back as the same
// panel, its texts kept as typed.
TEST(PanelFile, AModelWrittenAsAFileReadsBackTheSame) {
  const TPanel panel = ParsePanel(R"({"tapdeckPanel": 1, "title": "Tom & <Jerry> \"T\"",
    "above": [[{"text": "a &amp; b", "colspan": 3, "keys": "+&a"}]],
    "tabs": [{"id": "t", "text": "<Tab> \"one\"", "color": "red", "rows": [[
      {"text": "Say \"hi\"\n<b>now</b>", "colspan": 16, "buttonsDown": [1, 32]},
      {"text": "two\nlines & <br>", "buttonsPress": [128]}], []]}],
    "below": [[{"text": "x<y", "buttonsUp": [2]}]]})",
                                  u"panel.json");
  const std::string file = PanelJson(panel);
  const TPanel back = ParsePanel(file, u"panel.json");
  EXPECT_EQ(back.Title, panel.Title);
  EXPECT_EQ(back.Model->GetHTML(), panel.Model->GetHTML());
  EXPECT_EQ(PanelJson(back), file);
  for (const char* typed : {R"("Tom & <Jerry> \"T\"")", R"("a &amp; b")", R"("<Tab> \"one\"")",
                            R"("Say \"hi\"\n<b>now</b>")", R"("two\nlines & <br>")", R"("colspan": 16)"})
    EXPECT_NE(file.find(typed), std::string::npos) << typed << " not in\n" << file;
}

TEST(PanelFile, EveryProblemIsListedWithItsPlaceForTheEditor) {
  try {
    ParsePanel(R"({"tapdeckPanel": 1, "tabs": [{"id": "f", "text": "F", "rows": [[{"text": "a"}],
                   [{"text": "b", "keys": "{NO}"}, {"text": "c", "colspan": 99}]]}],
                   "below": [[{"text": "d", "buttonsDown": [0]}]]})",
               u"my panel.json");
    FAIL() << "accepted";
  } catch (const EPanelError& e) {
    ASSERT_EQ(e.Problems().size(), 3u);
    EXPECT_EQ(e.Problems()[0].Place, (TPanelPlace{"tabs", 0, 1, 0, "keys"}));
    EXPECT_EQ(e.Problems()[1].Place, (TPanelPlace{"tabs", 0, 1, 1, "colspan"}));
    EXPECT_EQ(e.Problems()[2].Place, (TPanelPlace{"below", -1, 0, 0, "buttonsDown"}));
    EXPECT_EQ(Utf16ToUtf8(e.Message()), R"(my panel.json: tab "F", row 2, cell 1 ("b"): keys "{NO}": Invalid Key Name)");
  }
}

TEST(PanelFile, AByteOrderMarkIsAllowed) {
  EXPECT_EQ(Refusal("\xEF\xBB\xBF" + OneCell(R"({"text": "A"})")), "(accepted)");
}

TEST(PanelFile, HugeOrDeepFilesAreRefusedQuicklyWithoutACrash) {
  const auto quickly = [](const std::string& AFile) {
    const auto start = std::chrono::steady_clock::now();
    const std::string message = Refusal(AFile);
    // Generous: only a runaway would take this long.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    return message;
  };
  std::string huge = OneCell(R"({"text": "A"})");
  huge.insert(huge.size() - 1, ", \"pad\": \"" + std::string(10 * 1024 * 1024, 'x') + "\"");
  EXPECT_EQ(quickly(huge), "panel.json: the file is larger than 1 MiB; a panel never needs that much");
  const std::string deep = R"({"tapdeckPanel": 1, "above": )" + std::string(100000, '[') + std::string(100000, ']') + "}";
  EXPECT_EQ(quickly(deep), "panel.json: nested deeper than 32 levels; a panel never needs that");
  // Long repeat counts are checked without playing every repeat.
  std::string cells;
  for (int i = 0; i < 500; ++i) cells += std::string(i ? "," : "") + R"({"text": "x", "keys": "{LEFT 65535}{UP 65535}"})";
  EXPECT_EQ(quickly(OneCell(cells)), "(accepted)");
}

TEST(PanelFile, TheShippedExamplesLoadAndTheBuiltInOneIsTheBuiltInPage) {
  const std::u16string folder = Utf8ToUtf16(TAPDECK_SOURCE_DIR "/panels/");
  const TPanel elite = ReadPanelFile(folder + u"elite-dangerous.json");
  TPageModel builtIn;
  FillEliteDangerousModel(builtIn);
  EXPECT_EQ(elite.Title, kEliteDangerousTitle);
  EXPECT_EQ(elite.Model->GetHTML(), builtIn.GetHTML());
  EXPECT_NO_THROW(ReadPanelFile(folder + u"kerbal-space-program.json"));
}

TEST(PanelFile, AFileThatCannotBeReadNamesItself) {
  TempDir dir;
  try {
    ReadPanelFile(dir.File("missing.json"));
    FAIL() << "accepted";
  } catch (const EPanelError& e) {
    EXPECT_NE(e.Message().find(u"missing.json"), std::u16string::npos);
  }
}

TEST(PanelFile, UsingAPanelSetsTitleAndModelTogether) {
  TPageInfo page;
  const TPanel panel = ParsePanel(R"({"tapdeckPanel": 1, "title": "T", "above": [[{"text": "A"}]]})", u"p.json");
  UsePanel(page, panel);
  EXPECT_EQ(page.PageTitle(), u"T");
  EXPECT_EQ(page.Model(), panel.Model);
}

}  // namespace
