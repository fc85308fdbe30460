// The panel editor's endpoints through the real HTTP service on loopback: who may use them,
// check, preview, save (atomic, with a backup, one at a time) and the panel in use after a
// save; the live state, the player's actions and the review of what a panel's buttons do.
// The peer rule is tested from a network namespace of the test's own.

#include "web/uPanelEditor.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/uAddresses.h"
#include "base/uFiles.h"
#include "base/uLocalPeer.h"
#include "base/uText.h"
#include "game/uBindingsWatcher.h"
#include "game/uGameState.h"
#include "page/uPageInfo.h"
#include "page/uPanelFile.h"
#include "tests/support/NeedsRoot.h"
#include "tests/support/TempDir.h"
#include "tests/web/HTTPTestSupport.h"
#include "web/uMainPage.h"

namespace {

using json = nlohmann::json;

std::string Panel(const std::string& ACaption, const std::string& AKeys = "k") {
  return R"({"tapdeckPanel": 1, "title": "T", "tabs": [{"id": "one", "text": "One", "rows": [[{"text": ")" +
         ACaption + R"(", "keys": ")" + AKeys + R"("}]]}]})";
}

std::string Request(const std::string& AMethod, const std::string& APath, const std::string& ABody = {},
                    const std::string& AExtraHeaders = {}) {
  std::string request = AMethod + " " + APath + " HTTP/1.1\r\nHost: localhost\r\n" + AExtraHeaders;
  if (AMethod == "POST")
    request += "Content-Type: application/json\r\nContent-Length: " + std::to_string(ABody.size()) + "\r\n";
  return request + "\r\n" + ABody;
}

std::string FileText(const std::filesystem::path& APath) {
  std::ifstream in(APath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class PanelEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    FreePageInfo();
    Dir.Write("index.html", "<title>$$PageTitle$$</title>\n$$HTML$$\n");
    Dir.Write("edit.html", "<style>\n$$EDITSTYLES$$\n</style><script>\n$$EDITSCRIPT$$\n</script>\n");
    Dir.Write("edit.css", "body{}");
    Dir.Write("edit.js", "let editor = 1;");
    GetPageInfo().SetPanelSaveFile(SaveFile());
    Service.Start();
  }
  void TearDown() override { FreePageInfo(); }

  std::u16string SaveFile() const { return Dir.Base() + u"sub" + PathDelimiter() + u"panel.json"; }
  std::filesystem::path SavePath() const { return Dir.Path() / "sub" / "panel.json"; }
  THTTPReply Ask(const std::string& ARequest) { return ParseReply(Exchange(Service.Port(), ARequest).Bytes); }

  TempDir Dir;
  TTestRoutes Unused;
  TTestService Service{Unused, MainPageModuleClass(Dir.Base())};
};

TEST_F(PanelEditor, EveryPathIsRefusedToAnotherSiteAndNothingIsWritten) {
  const char* const crossSite[] = {"Sec-Fetch-Site: cross-site\r\n", "Origin: http://evil.example\r\n",
                                   "Sec-Fetch-Site: same-site\r\n"};
  const struct {
    const char* method;
    const char* path;
  } paths[] = {{"GET", "/edit"},           {"GET", "/edit/panel"},   {"POST", "/edit/check"},
               {"POST", "/edit/preview"},  {"POST", "/edit/save"},   {"GET", "/edit/examples"},
               {"GET", "/EDIT/Panel"},     {"GET", "/edit/unknown"}, {"GET", "/edit/state"},
               {"GET", "/edit/actions"},   {"POST", "/edit/review"}};
  for (const auto& p : paths)
    for (const char* header : crossSite) {
      SCOPED_TRACE(std::string(p.method) + " " + p.path + " " + header);
      const THTTPReply reply = Ask(Request(p.method, p.path, Panel("A"), header));
      EXPECT_EQ(reply.Status, 403);
      EXPECT_EQ(reply.Body, "");
    }
  // A name that is not this PC's (a rebound name) is refused too.
  EXPECT_EQ(Ask("GET /edit/panel HTTP/1.1\r\nHost: evil.example\r\n\r\n").Status, 403);
  EXPECT_FALSE(std::filesystem::exists(SavePath()));
  // The same requests from this site are served.
  EXPECT_EQ(Ask(Request("GET", "/edit/panel", {}, "Sec-Fetch-Site: same-origin\r\n")).Status, 200);
  EXPECT_EQ(Ask(Request("GET", "/edit/unknown")).Status, 404);
  EXPECT_EQ(Ask(Request("GET", "/edit/save")).Status, 405);
  EXPECT_EQ(Ask(Request("POST", "/edit/state", "{}")).Status, 405);
  EXPECT_EQ(Ask(Request("GET", "/edit/review")).Status, 405);
}

TEST_F(PanelEditor, ThePageComesWithItsScriptAndStyle) {
  const THTTPReply reply = Ask(Request("GET", "/edit"));
  EXPECT_EQ(reply.Status, 200);
  EXPECT_EQ(reply.Body, "<style>\nbody{}\n</style><script>\nlet editor = 1;\n</script>\n");
  const THTTPReply head = Ask(Request("HEAD", "/edit"));
  EXPECT_EQ(head.Status, 200);
  EXPECT_EQ(head.Header("Content-Length"), std::to_string(reply.Body.size()));
  EXPECT_EQ(head.Body, "");
  Dir.Remove("edit.html");
  const THTTPReply missing = Ask(Request("GET", "/edit"));
  EXPECT_EQ(missing.Status, 404);
  EXPECT_EQ(missing.Body, "The editor's page file edit.html is missing.");
}

TEST_F(PanelEditor, OnlyEditAndWhatIsUnderItAreEditorPaths) {
  const struct {
    const char16_t* path;
    bool editor;
  } cases[] = {{u"/edit", true},     {u"/EDIT", true},      {u"/edit/", true},  {u"/Edit/panel", true},
               {u"/editor", false},  {u"/edits/x", false},  {u"/", false},      {u"/x/edit", false}};
  for (const auto& c : cases) EXPECT_EQ(TPanelEditor::IsEditorPath(c.path), c.editor) << Utf16ToUtf8(c.path);
  // Another site may load /editor: it is the control page, as every path no route takes.
  const THTTPReply page = Ask(Request("GET", "/editor", {}, "Sec-Fetch-Site: cross-site\r\n"));
  EXPECT_EQ(page.Status, 200);
  EXPECT_EQ(page.Body, Ask(Request("GET", "/")).Body);
}

TEST_F(PanelEditor, TheBuiltInPanelIsGivenAsAPanelFileThatReadsBackTheSame) {
  const THTTPReply reply = Ask(Request("GET", "/edit/panel"));
  ASSERT_EQ(reply.Status, 200);
  const json answer = json::parse(reply.Body);
  EXPECT_EQ(answer["source"], "");
  EXPECT_EQ(answer["saveFile"], Utf16ToUtf8(SaveFile()));
  const TPanel builtIn = BuiltInPanel();
  const TPanel back = ParsePanel(answer["panel"].dump(), u"x");
  EXPECT_EQ(back.Title, builtIn.Title);
  EXPECT_EQ(back.Model->GetHTML(), builtIn.Model->GetHTML());
}

TEST_F(PanelEditor, CheckNamesEachProblemWithItsPlace) {
  const json ok = json::parse(Ask(Request("POST", "/edit/check", Panel("A"))).Body);
  EXPECT_EQ(ok, json({{"ok", true}}));
  const json bad = json::parse(Ask(Request("POST", "/edit/check", Panel("A", "{NOSUCHKEY}"))).Body);
  ASSERT_EQ(bad["ok"], false);
  ASSERT_EQ(bad["problems"].size(), 1u);
  EXPECT_NE(bad["problems"][0]["message"].get<std::string>().find("{NOSUCHKEY}"), std::string::npos);
  EXPECT_EQ(bad["problems"][0]["place"],
            json({{"part", "tabs"}, {"tab", 0}, {"row", 0}, {"cell", 0}, {"member", "keys"}}));
  const json broken = json::parse(Ask(Request("POST", "/edit/check", "{\"tapdeckPanel\": 1,")).Body);
  EXPECT_EQ(broken["ok"], false);
}

TEST_F(PanelEditor, PreviewRendersThePanelAndLeavesThePanelInUseAlone) {
  const std::string before = Ask(Request("GET", "/")).Body;
  const THTTPReply reply = Ask(Request("POST", "/edit/preview", Panel("Preview me")));
  EXPECT_EQ(reply.Status, 200);
  EXPECT_NE(reply.Body.find("<title>T</title>"), std::string::npos);
  EXPECT_NE(reply.Body.find(">Preview me</td>"), std::string::npos);
  EXPECT_EQ(Ask(Request("GET", "/")).Body, before);
  EXPECT_EQ(Ask(Request("POST", "/edit/preview", Panel("A", "{F99}"))).Status, 422);
}

TEST_F(PanelEditor, ARefusedSaveWritesNothingAndSaysWhy) {
  const THTTPReply reply = Ask(Request("POST", "/edit/save", Panel("A", "{F99}")));
  EXPECT_EQ(reply.Status, 422);
  const json answer = json::parse(reply.Body);
  EXPECT_EQ(answer["ok"], false);
  EXPECT_NE(answer["problems"][0]["message"].get<std::string>().find("keys"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(SavePath()));
  EXPECT_FALSE(std::filesystem::exists(Dir.Path() / "sub"));
}

TEST_F(PanelEditor, SaveMakesTheFolderKeepsTheOldFileAndIsInUseAtOnce) {
  EXPECT_EQ(Ask(Request("POST", "/edit/save", Panel("First"))).Status, 200);
  EXPECT_EQ(FileText(SavePath()), Panel("First"));
  EXPECT_FALSE(std::filesystem::exists(Dir.Path() / "sub" / "panel.json.bak"));
  EXPECT_NE(Ask(Request("GET", "/")).Body.find(">First</td>"), std::string::npos);

  EXPECT_EQ(Ask(Request("POST", "/edit/save", Panel("Second"))).Status, 200);
  EXPECT_EQ(FileText(SavePath()), Panel("Second"));
  EXPECT_EQ(FileText(Dir.Path() / "sub" / "panel.json.bak"), Panel("First"));
  const std::string page = Ask(Request("GET", "/")).Body;
  EXPECT_NE(page.find(">Second</td>"), std::string::npos);
  EXPECT_EQ(page.find(">First</td>"), std::string::npos);
  // The panel in use is now the file, and the editor reads it back.
  const json answer = json::parse(Ask(Request("GET", "/edit/panel")).Body);
  EXPECT_EQ(answer["source"], Utf16ToUtf8(SaveFile()));
  EXPECT_EQ(answer["panel"], json::parse(Panel("Second")));
  // No temporary file is left behind.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Dir.Path() / "sub")) files += entry.is_regular_file();
  EXPECT_EQ(files, 2);
}

// A refused file of the user's is opened as written, with its problems; mended and saved,
// it is in use and no longer refused.
TEST_F(PanelEditor, ARefusedPanelFileIsOpenedWithItsProblemsUntilAMendedOneIsSaved) {
  const struct {
    std::string text;
    bool panel;  // given as the panel's JSON
    std::string problem;
  } cases[] = {{R"({"tapdeckPanel": 1, "tabs": [{"id": "a", "text": "A", "rows": [[{"text": "G", "keyz": "g"}]]}]})", true, "keyz"},
               {"{\n  \"tapdeckPanel\": 1,\n  oops\n}", false, "line 3"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::filesystem::create_directories(SavePath().parent_path());
    std::ofstream(SavePath(), std::ios::binary) << c.text;
    const json answer = json::parse(Ask(Request("GET", "/edit/panel")).Body);
    ASSERT_TRUE(answer.contains("refused"));
    const json& refused = answer["refused"];
    EXPECT_EQ(refused["file"], Utf16ToUtf8(SaveFile()));
    EXPECT_EQ(refused["text"], c.text);
    EXPECT_EQ(refused.contains("panel"), c.panel);
    ASSERT_FALSE(refused["problems"].empty());
    EXPECT_NE(refused["problems"][0]["message"].get<std::string>().find(c.problem), std::string::npos) << refused["problems"];
    EXPECT_EQ(answer["source"], "") << "the built-in page stands in meanwhile";
  }
  ASSERT_EQ(Ask(Request("POST", "/edit/save", Panel("Mended"))).Status, 200);
  const json answer = json::parse(Ask(Request("GET", "/edit/panel")).Body);
  EXPECT_FALSE(answer.contains("refused"));
  EXPECT_EQ(answer["source"], Utf16ToUtf8(SaveFile()));
}

TEST_F(PanelEditor, WithoutAFileToSaveToSaveIsRefusedAndNothingChanges) {
  GetPageInfo().SetPanelSaveFile(u"");
  const std::string before = Ask(Request("GET", "/")).Body;
  const THTTPReply reply = Ask(Request("POST", "/edit/save", Panel("Nowhere")));
  EXPECT_EQ(reply.Status, 409);
  EXPECT_EQ(json::parse(reply.Body), json({{"ok", false}, {"error", "There is no panel file to save to."}}));
  EXPECT_EQ(Ask(Request("GET", "/")).Body, before);
  EXPECT_FALSE(std::filesystem::exists(Dir.Path() / "sub"));
}

// The two ways a save's write fails here. Each is set up on a thread of its own, which the
// service started there hands on to every thread it makes: the rights that thread gives up
// and the mounts of its private namespace reach no other part of the test process.
enum class TWriteFault { FolderWithoutWriteRight, FullFileSystem };

// Root may write anywhere: the calling thread gives up the rights that let it.
bool GiveUpRootsFileRights() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
  return ::syscall(SYS_capset, &header, data) == 0;
}

// Puts the old panel and its backup into AFolder and then sets the fault up; empty, or why
// it could not be.
std::string PrepareFault(TWriteFault AFault, const std::filesystem::path& AFolder) {
  namespace fs = std::filesystem;
  if (AFault == TWriteFault::FullFileSystem) {
    // A small tmpfs in a mount namespace of this thread's own.
    if (::unshare(CLONE_NEWNS) != 0) return "cannot make a mount namespace (needs root)";
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return "cannot make the mounts private";
    if (::mount("tapdeck-test", AFolder.c_str(), "tmpfs", 0, "size=256k") != 0) return "cannot mount a tmpfs";
  }
  std::ofstream(AFolder / "panel.json") << Panel("Old");
  std::ofstream(AFolder / "panel.json.bak") << Panel("Older");
  if (AFault == TWriteFault::FullFileSystem) {
    // Room for a few small files, not for the new panel.
    struct statvfs fs {};
    if (::statvfs(AFolder.c_str(), &fs) != 0) return "cannot read the tmpfs's free space";
    std::ofstream(AFolder / "filler") << std::string(fs.f_bavail * fs.f_frsize - 16 * 1024, 'f');
  } else {
    fs::permissions(AFolder, fs::perms::owner_read | fs::perms::owner_exec);
    if (::geteuid() == 0 && !GiveUpRootsFileRights()) return "cannot give up root's file rights";
  }
  return {};
}

TEST_F(PanelEditor, AFailedWriteAnswers500AndKeepsThePanelItsBackupAndThePanelInUse) {
  namespace fs = std::filesystem;
  const std::string before = Ask(Request("GET", "/")).Body;
  const std::string big = Panel(std::string(100000, 'n'));
  for (const auto& [fault, name] : {std::pair{TWriteFault::FolderWithoutWriteRight, "a folder without write right"},
                                    std::pair{TWriteFault::FullFileSystem, "a full file system"}}) {
    SCOPED_TRACE(name);
    const fs::path folder = Dir.Path() / "sub";
    fs::create_directory(folder);
    std::string unprepared;
    std::thread([&] {
      SCOPED_TRACE(name);
      unprepared = PrepareFault(fault, folder);
      if (!unprepared.empty()) return;
      TTestRoutes unused;
      TTestService service(unused, MainPageModuleClass(Dir.Base()));
      service.Start();
      const THTTPReply reply = ParseReply(Exchange(service.Port(), Request("POST", "/edit/save", big)).Bytes);
      EXPECT_EQ(reply.Status, 500);
      const json answer = json::parse(reply.Body, nullptr, false);
      EXPECT_EQ(answer.value("ok", true), false) << reply.Body;
      EXPECT_NE(answer.value("error", ""), "") << reply.Body;
      EXPECT_EQ(FileText(folder / "panel.json"), Panel("Old"));
      EXPECT_EQ(FileText(folder / "panel.json.bak"), Panel("Older"));
      std::vector<std::string> names;
      for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
      std::sort(names.begin(), names.end());
      EXPECT_EQ(names, (fault == TWriteFault::FullFileSystem
                            ? std::vector<std::string>{"filler", "panel.json", "panel.json.bak"}
                            : std::vector<std::string>{"panel.json", "panel.json.bak"}));
      EXPECT_EQ(ParseReply(Exchange(service.Port(), Request("GET", "/")).Bytes).Body, before);
    }).join();
    fs::permissions(folder, fs::perms::owner_all);
    fs::remove_all(folder);
    if (!unprepared.empty()) TAPDECK_SKIP_UNLESS_ROOT(unprepared);
  }
}

TEST_F(PanelEditor, ConcurrentSavesLeaveOneWholeFile) {
  // Large panels, so a mixed write would show.
  std::vector<std::string> panels;
  for (int i = 0; i < 8; ++i) panels.push_back(Panel(std::string(20000, static_cast<char>('a' + i))));
  std::vector<std::thread> savers;
  std::vector<int> statuses(panels.size());
  for (std::size_t i = 0; i < panels.size(); ++i)
    savers.emplace_back([&, i] { statuses[i] = Ask(Request("POST", "/edit/save", panels[i])).Status; });
  for (auto& saver : savers) saver.join();
  for (int status : statuses) EXPECT_EQ(status, 200);
  const std::string saved = FileText(SavePath());
  const std::string backup = FileText(Dir.Path() / "sub" / "panel.json.bak");
  EXPECT_NE(std::find(panels.begin(), panels.end(), saved), panels.end());
  EXPECT_NE(std::find(panels.begin(), panels.end(), backup), panels.end());
  EXPECT_NE(saved, backup);
}

TEST_F(PanelEditor, ExamplesAreTheReadablePanelsOfThePanelsFolder) {
  EXPECT_EQ(json::parse(Ask(Request("GET", "/edit/examples")).Body), json::array());
  std::filesystem::create_directory(Dir.Path() / "panels");
  Dir.Write("panels/b.json", Panel("B"));
  Dir.Write("panels/a.json", Panel("A"));
  Dir.Write("panels/broken.json", "{");
  Dir.Write("panels/notes.txt", Panel("N"));
  const json list = json::parse(Ask(Request("GET", "/edit/examples")).Body);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]["name"], "a.json");
  EXPECT_EQ(list[1]["panel"], json::parse(Panel("B")));
}

// A panel of one tab whose first row holds one key cell per sequence.
std::string KeysPanel(const std::vector<std::string>& ASequences, const std::string& AMore = {}) {
  json row = json::array();
  for (const std::string& keys : ASequences) row.push_back({{"text", keys}, {"keys", keys}});
  json rows = json::array({row});
  if (!AMore.empty()) rows.push_back(json::parse(AMore));
  return json({{"tapdeckPanel", 1}, {"tabs", {{{"id", "t"}, {"text", "T"}, {"rows", rows}}}}}).dump();
}

TEST_F(PanelEditor, ReviewListsTheKeysThatHoldWinCtrlOrAltOrEndInEnter) {
  const struct {
    const char* Keys;
    std::vector<std::string> Holds;  // empty with Enter false: not listed
    bool Enter;
  } cases[] = {
      {"%{F4}", {"Alt"}, false},  {"calc~", {}, true},        {"#r", {"Win"}, false},
      {"^>c", {"Ctrl"}, false},   {"#<^%{DEL}", {"Win", "Ctrl", "Alt"}, false},
      {"a{ENTER}", {}, true},     {"%(fx){enter}", {"Alt"}, true},
      {"l", {}, false},           {"+G", {}, false},          {"~a", {}, false},
      {"{TAB}", {}, false},       {"^{NOSUCH}", {}, false},   // a wrong sequence is the check's to name
  };
  std::vector<std::string> sequences;
  for (const auto& c : cases) sequences.push_back(c.Keys);
  // A game action's own keys count too; the cell's unknown member does not stop the review.
  const std::string body = KeysPanel(sequences, R"([{"text": "Save", "action": "elite:Nothing", "keys": "^s", "oops": 1}])");
  const json answer = json::parse(Ask(Request("POST", "/edit/review", body)).Body);
  std::vector<json> expected;
  for (std::size_t i = 0; i < std::size(cases); ++i)
    if (!cases[i].Holds.empty() || cases[i].Enter)
      expected.push_back({{"place", {{"part", "tabs"}, {"tab", 0}, {"row", 0}, {"cell", i}, {"member", "keys"}}},
                          {"keys", cases[i].Keys},
                          {"action", false},
                          {"holds", cases[i].Holds},
                          {"enter", cases[i].Enter}});
  expected.push_back({{"place", {{"part", "tabs"}, {"tab", 0}, {"row", 1}, {"cell", 0}, {"member", "keys"}}},
                      {"keys", "^s"},
                      {"action", true},
                      {"holds", json::array({"Ctrl"})},
                      {"enter", false}});
  EXPECT_EQ(answer["keys"], json(expected));
  EXPECT_EQ(answer["unbound"], json::array());
  // Bytes that are no panel at all give nothing to review.
  for (const char* junk : {"", "{", "[[[[", "\x89PNG"})
    EXPECT_EQ(json::parse(Ask(Request("POST", "/edit/review", junk)).Body), json({{"keys", json::array()}, {"unbound", json::array()}}));
  EXPECT_EQ(Ask(Request("POST", "/edit/review", std::string(5000, '['))).Status, 200);
}

TEST_F(PanelEditor, StateGivesEveryGameNameAndEveryNameHeldNow) {
  GetGameState().Set("elite.LandingGearDown", true);
  GetGameState().Set("elite.Fuel.FuelMain", 12.5);
  GetGameState().Set("ets2.Gear", std::string("R"));
  const json answer = json::parse(Ask(Request("GET", "/edit/state")).Body);
  GetGameState().Remove("ets2.Gear");
  GetGameState().ReplacePrefix("elite.", {});
  EXPECT_EQ(answer["values"]["elite.LandingGearDown"], true);
  EXPECT_EQ(answer["values"]["elite.Fuel.FuelMain"], 12.5);
  EXPECT_FALSE(answer["values"].contains("elite.LightsOn"));
  const json& names = answer["names"];
  const auto kindOf = [&names](const std::string& AName) {
    for (const json& n : names)
      if (n["name"] == AName) return n["kind"].get<std::string>();
    return std::string("absent");
  };
  EXPECT_EQ(names.front(), json({{"name", "elite.Docked"}, {"kind", "bool"}}));
  const std::pair<const char*, const char*> kinds[] = {{"elite.LightsOn", "bool"},  {"elite.Flags2Bit31", "bool"},
                                                       {"elite.Fuel.FuelMain", "number"}, {"elite.BodyName", "text"},
                                                       {"ets2.Gear", "text"},       {"cell.nothing", "absent"}};
  for (const auto& [name, kind] : kinds) EXPECT_EQ(kindOf(name), kind) << name;
  EXPECT_EQ(names.back()["name"], "ets2.Gear");
}

TEST_F(PanelEditor, ActionsAndTheUnboundOnesComeFromTheBindingsInUse) {
  TempDir folder;
  folder.Write("StartPreset.start", "Custom\n");
  folder.Write("Custom.binds",
               "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<Root PresetName=\"Custom\" MajorVersion=\"4\" MinorVersion=\"0\">\n"
               "<KeyboardLayout>en-US</KeyboardLayout>\n"
               "<LandingGearToggle><Primary Device=\"Keyboard\" Key=\"Key_L\"/><Secondary Device=\"{NoDevice}\" Key=\"\"/></LandingGearToggle>\n"
               "<ShipSpotLightToggle><Primary Device=\"068EC010\" Key=\"Joy_3\"/><Secondary Device=\"{NoDevice}\" Key=\"\"/></ShipSpotLightToggle>\n"
               "<BuggyPrimaryFireButton><Primary Device=\"Keyboard\" Key=\"Key_Space\"/><Secondary Device=\"{NoDevice}\" Key=\"\"/></BuggyPrimaryFireButton>\n"
               "<YawAxisRaw><Binding Device=\"068EC010\" Key=\"Joy_XAxis\"/></YawAxisRaw>\n"
               "<MouseSensitivity Value=\"1.0\"/>\n</Root>\n");
  GetBindings().Set(LoadBindings({folder.Base(), {"1234BEAD"}}));
  const json actions = json::parse(Ask(Request("GET", "/edit/actions")).Body);
  const json review = json::parse(Ask(Request("POST", "/edit/review",
      R"({"tapdeckPanel": 1, "below": [[{"text": "Gear", "action": "elite:LandingGearToggle"},
                                        {"text": "Lights", "action": "elite:ShipSpotLightToggle", "keys": "u"}]]})")).Body);
  // A built-in preset: no file, the bindings' own words.
  folder.Write("StartPreset.start", "KeyboardMouseOnly\n");
  GetBindings().Set(LoadBindings({folder.Base(), {}}));
  const json builtIn = json::parse(Ask(Request("GET", "/edit/actions")).Body);
  GetBindings().Set(std::make_shared<TBindings>(std::u16string(kNoBindingsFolder)));

  EXPECT_EQ(actions["inUse"], true);
  EXPECT_EQ(actions["file"], Utf16ToUtf8(folder.File("Custom.binds")));
  const std::string lightsFix =
      "Options, Controls, Ship, Ship Lights: bind a key as the secondary binding; your joystick keeps the primary";
  const json expected = json::array(
      {{{"action", "elite:LandingGearToggle"}, {"group", "Ship"}, {"label", "Landing Gear"}, {"bound", true},
        {"reading", "L"}, {"why", ""}, {"fix", ""}},
       {{"action", "elite:ShipSpotLightToggle"}, {"group", "Ship"}, {"label", "Ship Lights"}, {"bound", false},
        {"reading", "068EC010: button 3"}, {"why", "bound to another device only: 068EC010: button 3"}, {"fix", lightsFix}},
       {{"action", "elite:BuggyPrimaryFireButton"}, {"group", "SRV"}}});
  ASSERT_EQ(actions["actions"].size(), 3u);
  for (std::size_t i = 0; i < expected.size(); ++i)
    for (const auto& [member, value] : expected[i].items()) EXPECT_EQ(actions["actions"][i][member], value) << i << " " << member;
  EXPECT_EQ(review["unbound"],
            json::array({{{"place", {{"part", "below"}, {"tab", -1}, {"row", 0}, {"cell", 1}, {"member", "action"}}},
                          {"action", "elite:ShipSpotLightToggle"},
                          {"label", "Ship Lights"},
                          {"why", "bound to another device only: 068EC010: button 3"},
                          {"fix", lightsFix}}}));
  EXPECT_EQ(builtIn["inUse"], false);
  EXPECT_EQ(builtIn["status"], Utf16ToUtf8(BuiltInPresetStatus(u"KeyboardMouseOnly")));
  EXPECT_EQ(builtIn["actions"], json::array());
}

TEST(IsThisPCAddress, LoopbackAndTheMachinesOwnAddressesOnly) {
  const struct {
    const char* address;
    bool own;
  } cases[] = {{"127.0.0.1", true},  {"127.1.2.3", true},      {"::1", true},       {"::ffff:127.0.0.1", true},
               {"", false},          {"localhost", false},     {"1.2.3", false},    {"192.0.2.77", false},
               {"2001:db8::77", false}, {"::ffff:192.0.2.77", false}};
  for (const auto& c : cases) EXPECT_EQ(IsThisPCAddress(c.address), c.own) << c.address;
  for (const std::u16string& address : LocalIPv4Addresses()) EXPECT_TRUE(IsThisPCAddress(Utf16ToUtf8(address)));
}

// --- The peer rule, from a network namespace ---

bool Ip(const std::string& AArguments) {
  const int status = std::system(("ip " + AArguments + " >/dev/null 2>&1").c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A namespace joined to the test's own by a veth pair: 10.213.77.1 on this side,
// 10.213.77.2 inside. Removed with everything in it on destruction.
class TPeerNamespace {
 public:
  TPeerNamespace() : FName("tdkedit" + std::to_string(::getpid() % 100000)), FHost("tdh" + std::to_string(::getpid() % 100000)) {
    Ip("netns del " + FName);
    Ip("link del " + FHost);
    const std::string inside = "tdn" + std::to_string(::getpid() % 100000);
    const std::string steps[] = {"netns add " + FName,
                                 "link add " + FHost + " type veth peer name " + inside,
                                 "link set " + inside + " netns " + FName,
                                 "addr add 10.213.77.1/24 dev " + FHost,
                                 "link set " + FHost + " up",
                                 "netns exec " + FName + " ip addr add 10.213.77.2/24 dev " + inside,
                                 "netns exec " + FName + " ip link set " + inside + " up",
                                 "netns exec " + FName + " ip link set lo up"};
    for (const std::string& step : steps)
      if (!Ip(step)) {
        Skipped = "\"ip " + step + "\" failed (needs root, iproute2 and veth support)";
        return;
      }
  }
  ~TPeerNamespace() {
    Ip("netns del " + FName);
    Ip("link del " + FHost);
  }
  // One exchange from inside the namespace, on a thread that joins it.
  std::string ExchangeFromInside(std::uint16_t APort, const std::string& ARequest) {
    std::string bytes;
    std::thread([&] {
      const int fd = ::open(("/run/netns/" + FName).c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0 || ::setns(fd, CLONE_NEWNET) != 0) {
        if (fd >= 0) ::close(fd);
        return;
      }
      ::close(fd);
      TSocket socket = TSocket::Open(TIPVersion::IPv4);
      if (!socket.Connect("10.213.77.1", APort) || !socket.SendAll(ARequest)) return;
      char buffer[4096];
      for (std::ptrdiff_t n; socket.WaitReadable(5000) && (n = socket.Receive(buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, static_cast<std::size_t>(n));
    }).join();
    return bytes;
  }
  std::string Skipped;

 private:
  std::string FName;
  std::string FHost;
};

TEST_F(PanelEditor, APeerOtherThanLoopbackIsRefusedEveryPathAndTheControlPageStillServed) {
  TPeerNamespace peer;
  if (!peer.Skipped.empty()) TAPDECK_SKIP_UNLESS_ROOT(peer.Skipped);
  const std::uint16_t port = Service.Port();
  for (const auto& [method, path] : std::vector<std::pair<std::string, std::string>>{
           {"GET", "/edit"}, {"GET", "/edit/panel"}, {"POST", "/edit/check"}, {"POST", "/edit/preview"},
           {"POST", "/edit/save"}, {"GET", "/edit/examples"}}) {
    const THTTPReply reply = ParseReply(peer.ExchangeFromInside(port, Request(method, path, Panel("Remote"))));
    EXPECT_EQ(reply.Status, 403) << path;
    EXPECT_EQ(reply.Body, "") << path;
  }
  EXPECT_FALSE(std::filesystem::exists(SavePath()));
  // The phone's page is still served to that peer.
  EXPECT_EQ(ParseReply(peer.ExchangeFromInside(port, Request("GET", "/"))).Status, 200);
  // Nor to this PC itself through its other address, which a neighbour could also claim:
  // the editor answers only on the loopback address.
  TSocket socket = TSocket::Open(TIPVersion::IPv4);
  ASSERT_TRUE(socket.Connect("10.213.77.1", port));
  ASSERT_TRUE(socket.SendAll(Request("GET", "/edit/panel")));
  std::string bytes;
  char buffer[4096];
  for (std::ptrdiff_t n; socket.WaitReadable(5000) && (n = socket.Receive(buffer, sizeof buffer)) > 0;)
    bytes.append(buffer, static_cast<std::size_t>(n));
  EXPECT_EQ(ParseReply(bytes).Status, 403);
}

}  // namespace
