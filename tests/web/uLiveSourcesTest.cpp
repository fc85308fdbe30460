// The window's lines about the live sources: where the game's status file is and when it last
// changed, and which bindings file is in use with how many of the panel's actions it leaves
// unbound. The status file is watched from a thread of its own.

#include "web/uLiveSources.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/uText.h"
#include "page/uPageInfo.h"
#include "page/uPanelFile.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;

class LiveSourcesConcurrent : public ::testing::Test {
 protected:
  ~LiveSourcesConcurrent() override {
    GetBindings().Set(std::make_shared<const TBindings>(std::u16string(kNoBindingsFolder)));
    GetPageInfo().SetModel(FModel);
  }
  // A folder of the test's own, as the user would pick it.
  std::u16string Folder(const std::string& AName) {
    std::filesystem::create_directories(Dir.Path() / AName);
    return Dir.File(AName) + u"/";
  }

  TempDir Dir;
  const std::shared_ptr<const TPageModel> FModel = GetPageInfo().Model();
  TLiveSources Sources;  // declared last: its watchers end first
};

TEST_F(LiveSourcesConcurrent, TheGameLineSaysWhereTheStatusFileIsAndWhenItChanged) {
  const std::u16string folder = Folder("game");
  const struct {
    const char* name;
    TGameFolderChoice choice;
    bool file;
    std::u16string line;
  } cases[] = {
      {"not watched", {TGameFolderChoice::Off, {}}, false, u"Game: not watched"},
      {"a folder without the file", {TGameFolderChoice::Picked, folder}, false,
       u"Game: no Status.json in " + folder + u" yet"},
      {"the file, written 5 minutes ago", {TGameFolderChoice::Picked, folder}, true, u"Game: Status.json, changed 5 min ago"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.file) {
      const std::filesystem::path file = Dir.Path() / "game" / "Status.json";
      std::filesystem::create_directories(file.parent_path());
      { std::ofstream(file) << R"({"timestamp":"2024-03-01T12:00:00Z","event":"Status","Flags":16777229})"; }
      std::filesystem::last_write_time(file, std::filesystem::file_time_type::clock::now() - 330s);
    }
    Sources.SetStatusFolder(c.choice);
    // The watcher takes up the choice on its own thread.
    std::u16string line = Sources.GameLine();
    for (const auto deadline = std::chrono::steady_clock::now() + 20s;
         line != c.line && std::chrono::steady_clock::now() < deadline; line = Sources.GameLine())
      std::this_thread::sleep_for(20ms);
    EXPECT_EQ(Utf16ToUtf8(line), Utf16ToUtf8(c.line));
  }
}

// A bindings file as the game writes it: the gear on L, the lights on nothing.
const char* const kBinds = R"(<?xml version="1.0" encoding="UTF-8" ?>
<Root PresetName="Custom" MajorVersion="4" MinorVersion="0">
  <KeyboardLayout>en-GB</KeyboardLayout>
  <LandingGearToggle><Primary Device="Keyboard" Key="Key_L" /><Secondary Device="{NoDevice}" Key="" /></LandingGearToggle>
  <ShipSpotLightToggle><Primary Device="{NoDevice}" Key="Key_L" /><Secondary Device="{NoDevice}" Key="" /></ShipSpotLightToggle>
</Root>
)";

TEST_F(LiveSourcesConcurrent, TheBindingsLineNamesTheFileInUseOrWhyNoneAndCountsTheUnbound) {
  const std::u16string empty = Folder("empty");
  const std::u16string builtIn = Folder("builtin");
  const std::u16string game = Folder("game");
  Dir.Write("builtin/StartPreset.start", "KeyboardMouse\n");
  Dir.Write("game/StartPreset.4.start", "Custom\nCustom\nCustom\nCustom\n");
  Dir.Write("game/Custom.4.0.binds", kBinds);
  const std::vector<std::string> all{"LandingGearToggle", "ShipSpotLightToggle", "DeployHeatSink"};
  const struct {
    const char* name;
    TGameFolderChoice choice;
    std::vector<std::string> actions;  // the panel's
    std::u16string line;
  } cases[] = {
      {"off", {TGameFolderChoice::Off, {}}, all, u"Bindings: off"},
      {"no start file", {TGameFolderChoice::Picked, empty}, all,
       u"Bindings: no StartPreset.4.start or StartPreset.start in " + empty},
      {"a built-in preset", {TGameFolderChoice::Picked, builtIn}, all,
       u"Bindings: the game uses its built-in preset KeyboardMouse; change any binding in the game once, or pick a .binds file"},
      {"the player's file", {TGameFolderChoice::Picked, game}, all,
       u"Bindings: Custom.4.0.binds, 2 of the panel's 3 actions unbound"},
      {"the file picked itself", {TGameFolderChoice::Picked, game + u"Custom.4.0.binds"}, all,
       u"Bindings: Custom.4.0.binds, 2 of the panel's 3 actions unbound"},
      {"every action bound", {TGameFolderChoice::Picked, game}, {"LandingGearToggle"},
       u"Bindings: Custom.4.0.binds, every action of the panel bound"},
      {"a panel without actions", {TGameFolderChoice::Picked, game}, {}, u"Bindings: Custom.4.0.binds"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The panel is read while no bindings are in use, so that any action's name is taken.
    Sources.SetBindings({}, 2);
    std::string cells = R"({"text": "A"})";
    for (const std::string& action : c.actions) cells += R"(, {"text": "A", "action": "elite:)" + action + "\"}";
    GetPageInfo().SetModel(ParsePanel(R"({"tapdeckPanel": 1, "above": [[)" + cells + "]]}", u"p.json").Model);
    // The bindings are read before SetBindings returns.
    Sources.SetBindings(c.choice, 2);
    EXPECT_EQ(Utf16ToUtf8(Sources.BindingsLine()), Utf16ToUtf8(c.line));
  }
}

}  // namespace
