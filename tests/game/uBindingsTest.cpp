#include "game/uBindings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "base/uText.h"
#include "game/uBindingsWatcher.h"
#include "keys/uSendKeys.h"
#include "tests/support/TempDir.h"

namespace {

std::string Show(const std::u16string& text) { return Utf16ToUtf8(text); }

const std::vector<std::string> kOurs{"1234BEAD"};

std::string Binds(std::string_view ALayout, std::string_view AActions) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<Root PresetName=\"Custom\" MajorVersion=\"4\" MinorVersion=\"0\">\n"
         "<KeyboardLayout>" + std::string(ALayout) + "</KeyboardLayout>\n" + std::string(AActions) + "</Root>\n";
}

// A button action bound to one key on the keyboard (primary).
std::string KeyAction(std::string_view AAction, std::string_view AKey) {
  return "<" + std::string(AAction) + "><Primary Device=\"Keyboard\" Key=\"" + std::string(AKey) +
         "\"/><Secondary Device=\"{NoDevice}\" Key=\"\"/></" + std::string(AAction) + ">\n";
}

struct TResolveCase {
  const char* Action;
  const char* Body;  // Primary and Secondary
  TBindingKind Kind;
  std::u16string Played;  // the sequence, or the joystick button
  std::u16string Reading;
  std::string WhyOrFix;  // unbound: a part of Why or Fix
};

const TResolveCase kResolveCases[] = {
    {"LandingGearToggle",
     R"(<Primary Device="Keyboard" Key="Key_L"><Modifier Device="Keyboard" Key="Key_LeftShift"/></Primary>
        <Secondary Device="{NoDevice}" Key=""/>)",
     TBindingKind::Keys, u"+<l", u"Left Shift + L", ""},
    {"ToggleButtonUpInput",
     R"(<Primary Device="Keyboard" Key="Key_Delete"><Modifier Device="Keyboard" Key="Key_RightControl"/>
        <Modifier Device="Keyboard" Key="Key_LeftAlt"/></Primary><Secondary Device="" Key=""/>)",
     TBindingKind::Keys, u"^>%<{DELETE}", u"Right Ctrl + Left Alt + Delete", ""},
    {"DeployHardpointToggle",
     R"(<Primary Device="068EC010" Key="Joy_3"/><Secondary Device="Keyboard" Key="Key_Numpad_7"/>)",
     TBindingKind::Keys, u"{NUM7}", u"Numpad 7", ""},
    {"ToggleCargoScoop", R"(<Primary Device="1234BEAD" Key="Joy_7"/><Secondary Device="Keyboard" Key="Key_Home"/>)",
     TBindingKind::Joystick, u"7", u"Joystick button 7", ""},
    {"ToggleFlightAssist", R"(<Primary Device="1234bead" Key="Joy_12"/><Secondary Device="{NoDevice}" Key=""/>)",
     TBindingKind::Joystick, u"12", u"Joystick button 12", ""},
    {"ShipSpotLightToggle", R"(<Primary Device="{NoDevice}" Key="Key_L"/><Secondary Device="Keyboard" Key="Key_Hash"/>)",
     TBindingKind::Unbound, u"", u"Hash",
     "this program cannot press Key_Hash of ShipSpotLightToggle (keyboard layout en-US)"},
    {"UseBoostJuice", R"(<Primary Device="Keyboard" Key="Key_Numpad_Enter"/><Secondary Device="{NoDevice}" Key=""/>)",
     TBindingKind::Unbound, u"", u"Numpad Enter", "Key_Numpad_Enter of UseBoostJuice"},
    {"HyperSuperCombination", R"(<Primary Device="068EC010" Key="Joy_1"/><Secondary Device="{NoDevice}" Key=""/>)",
     TBindingKind::Unbound, u"", u"068EC010: button 1",
     "Options, Controls, Ship, Frame Shift Drive: bind a key as the secondary binding; your joystick keeps the primary"},
    {"DeployHeatSink", R"(<Primary Device="{NoDevice}" Key="Key_H"/><Secondary Device="{NoDevice}" Key="Key_J"/>)",
     TBindingKind::Unbound, u"", u"not bound", "Options, Controls, Ship, Heat Sink: bind a key as the primary binding"},
    {"NightVisionToggle",
     R"(<Primary Device="Keyboard" Key="Key_Space"><Modifier Device="Keyboard" Key="Key_A"/></Primary>
        <Secondary Device="Mouse" Key="Mouse_4"/>)",
     TBindingKind::Unbound, u"", u"A + Space; Mouse: Mouse 4", "replace the primary binding (A + Space) with a key"},
    {"UI_Select", R"(<Primary Device="1234BEAD" Key="Joy_POV1Up"/><Secondary Device="1234BEAD" Key="Joy_2"/>)",
     TBindingKind::Joystick, u"2", u"Joystick button 2", ""},
};

TEST(Bindings, EachActionPlaysWhatThePlayerBound) {
  std::string body;
  for (const TResolveCase& c : kResolveCases)
    body += "<" + std::string(c.Action) + ">" + c.Body + "</" + c.Action + ">\n";
  const TBindsFile file = ParseBindsFile(Binds("en-US", body), u"Custom.4.0.binds");
  ASSERT_EQ(file.Actions.size(), std::size(kResolveCases));
  for (const TResolveCase& c : kResolveCases) {
    SCOPED_TRACE(c.Action);
    const TActionBinding binding = ResolveAction(*file.Find(c.Action), file.KeyboardLayout, kOurs);
    EXPECT_EQ(binding.Kind, c.Kind);
    EXPECT_EQ(Show(binding.Reading), Show(c.Reading));
    if (c.Kind == TBindingKind::Keys) {
      EXPECT_EQ(Show(binding.Sequence()), Show(c.Played));
      EXPECT_TRUE(TKeySequence::Check(binding.Sequence()).empty());
    } else if (c.Kind == TBindingKind::Joystick) {
      EXPECT_EQ(IntToStr(binding.Button), c.Played);
    } else {
      EXPECT_NE((Show(binding.Why) + "|" + Show(binding.Fix)).find(c.WhyOrFix), std::string::npos)
          << Show(binding.Why) << " | " << Show(binding.Fix);
      EXPECT_TRUE(binding.Fix.starts_with(u"Options, Controls, ")) << Show(binding.Fix);
    }
  }
  const auto reason = [&](const char* AAction) { return ResolveAction(*file.Find(AAction), "en-US", kOurs).Reason; };
  EXPECT_EQ(reason("UseBoostJuice"), TUnboundReason::UnmappableKey);
  EXPECT_EQ(reason("HyperSuperCombination"), TUnboundReason::OtherDevice);
  EXPECT_EQ(reason("DeployHeatSink"), TUnboundReason::NoBinding);
  const TActionBinding keys = ResolveAction(*file.Find("ToggleButtonUpInput"), "en-US", kOurs);
  EXPECT_EQ(keys.ModifierKeys(), (std::vector<std::uint8_t>{0xA3, 0xA4}));
  EXPECT_EQ(keys.Key, u"{DELETE}");
}

TEST(Bindings, TapdecksOwnJoystickIsOurs) {
  TBindsAction action{"ToggleCargoScoop", {}, {}};
  action.Primary.Device = TapdeckJoystickDevices(2).front();
  action.Primary.Key = "Joy_5";
  const TActionBinding binding = ResolveAction(action, "en-US", TapdeckJoystickDevices(2));
  EXPECT_EQ(binding.Kind, TBindingKind::Joystick);
  EXPECT_EQ(binding.Button, 5);
}

TEST(Bindings, GroupsAndLabelsFollowTheActionNames) {
  const std::tuple<const char*, TActionGroup, const char*> cases[] = {
      {"LandingGearToggle", TActionGroup::Ship, "Landing Gear"},
      {"PlayerHUDModeToggle", TActionGroup::Ship, "HUD Mode"},
      {"FocusCommsPanel", TActionGroup::Ship, "Focus Comms Panel"},
      {"UI_Select", TActionGroup::UI, "UI Select"},
      {"HumanoidToggleFlashlightButton", TActionGroup::OnFoot, "Toggle Flashlight Button"},
      {"AutoBreakBuggyButton", TActionGroup::SRV, "Auto Break Buggy Button"},
      {"CamZoomIn", TActionGroup::General, "Cam Zoom In"},
  };
  for (const auto& [action, group, label] : cases) {
    EXPECT_EQ(ActionGroup(action), group) << action;
    EXPECT_EQ(Show(ActionLabel(action)), label);
  }
}

// A bindings folder the tests write the game's files into.
struct TBindingsFolder {
  TempDir Dir;
  TBindingsSource Source() const { return {Dir.Base(), kOurs}; }
};

TEST(Bindings, FourGroupsEachReadTheirOwnPreset) {
  TBindingsFolder folder;
  folder.Dir.Write("StartPreset.4.start", "GeneralSet\r\nShipSet\r\nBuggySet\r\nFootSet\r\n");
  folder.Dir.Write("StartPreset.start", "Other\n");
  folder.Dir.Write("ShipSet.4.0.binds", Binds("en-US", KeyAction("LandingGearToggle", "Key_L") +
                                                         KeyAction("HumanoidJumpButton", "Key_J") +
                                                         KeyAction("UI_Up", "Key_W")));
  folder.Dir.Write("ShipSet.binds", Binds("en-US", KeyAction("LandingGearToggle", "Key_G")));
  folder.Dir.Write("GeneralSet.4.0.binds", Binds("en-US", KeyAction("UI_Up", "Key_UpArrow") + KeyAction("CamZoomIn", "Key_Z")));
  folder.Dir.Write("BuggySet.3.0.binds", Binds("de-DE", KeyAction("AutoBreakBuggyButton", "Key_Hash")));
  // FootSet has no file: the game's built-in preset.
  const auto bindings = LoadBindings(folder.Source());
  EXPECT_EQ(Show(bindings->Status()), Show(folder.Dir.File("ShipSet.4.0.binds")));
  EXPECT_TRUE(bindings->InUse());
  const auto sequence = [&](const char* AAction) { return Show(bindings->Lookup(AAction)->Sequence()); };
  EXPECT_EQ(sequence("LandingGearToggle"), "l");
  EXPECT_EQ(sequence("UI_Up"), "{UP}");
  EXPECT_EQ(sequence("CamZoomIn"), "z");
  EXPECT_EQ(sequence("AutoBreakBuggyButton"), "{#}");
  EXPECT_FALSE(bindings->Lookup("HumanoidJumpButton").has_value());
  EXPECT_EQ(bindings->Lookup("ToggleCargoScoop")->Reason, TUnboundReason::NotInFile);
  std::vector<std::string> listed;
  for (const TActionBinding& action : bindings->Actions()) listed.push_back(action.Action);
  EXPECT_EQ(listed, (std::vector<std::string>{"LandingGearToggle", "AutoBreakBuggyButton", "CamZoomIn", "UI_Up"}));
}

TEST(Bindings, OlderFilesBuiltInPresetsAndNoFolder) {
  TBindingsFolder folder;
  folder.Dir.Write("StartPreset.start", "Old\n");
  folder.Dir.Write("Old.3.0.binds", Binds("en-US", KeyAction("HumanoidJumpButton", "Key_Space")));
  const auto old = LoadBindings(folder.Source());
  EXPECT_EQ(Show(old->Lookup("HumanoidJumpButton")->Sequence()), "{SPACE}");
  EXPECT_EQ(Show(old->FileName()), Show(folder.Dir.File("Old.3.0.binds")));

  folder.Dir.Write("StartPreset.start", "KeyboardMouseOnly");
  const auto builtIn = LoadBindings(folder.Source());
  EXPECT_EQ(Show(builtIn->Status()),
            "the game uses its built-in preset KeyboardMouseOnly; change any binding in the game once, or pick a .binds file");
  EXPECT_FALSE(builtIn->InUse());
  EXPECT_FALSE(builtIn->Lookup("LandingGearToggle").has_value());

  EXPECT_EQ(Show(LoadBindings({u"", kOurs})->Status()), "no bindings folder found");
  folder.Dir.Remove("StartPreset.start");
  EXPECT_NE(Show(LoadBindings(folder.Source())->Status()).find("no StartPreset.4.start or StartPreset.start"), std::string::npos);

  const auto picked = LoadBindings({folder.Dir.File("Old.3.0.binds"), kOurs});
  EXPECT_EQ(Show(picked->Lookup("HumanoidJumpButton")->Sequence()), "{SPACE}");
}

TEST(Bindings, ARefusedFileChangesNothing) {
  TBindingsFolder folder;
  folder.Dir.Write("StartPreset.start", "Custom");
  folder.Dir.Write("Custom.4.0.binds", Binds("en-US", KeyAction("LandingGearToggle", "Key_L")));
  const auto good = LoadBindings(folder.Source());
  for (const std::string& bad : {std::string("<Root><LandingGearToggle>"),
                                 "<!DOCTYPE Root [<!ENTITY a \"aaaa\">]>" + Binds("en-US", ""),
                                 std::string(kMaxBindsFileSize + 1, ' ')}) {
    folder.Dir.Write("Custom.4.0.binds", bad);
    const auto kept = LoadBindings(folder.Source(), good);
    EXPECT_TRUE(kept->Refused());
    EXPECT_TRUE(kept->Status().starts_with(folder.Dir.File("Custom.4.0.binds") + u": ")) << Show(kept->Status());
    EXPECT_TRUE(kept->Status().ends_with(u"; still using " + folder.Dir.File("Custom.4.0.binds")));
    EXPECT_EQ(Show(kept->Lookup("LandingGearToggle")->Sequence()), "l");
    EXPECT_NE(kept->Inputs(), good->Inputs());
    const auto first = LoadBindings(folder.Source());
    EXPECT_FALSE(first->InUse());
    EXPECT_FALSE(first->Lookup("LandingGearToggle").has_value());
  }
  folder.Dir.Write("StartPreset.start", "../Custom");
  EXPECT_NE(Show(LoadBindings(folder.Source())->Status()).find("is not a preset name"), std::string::npos);
}

// Snapshots that reach the listener, for a test to wait on.
class TListened {
 public:
  void Add(const std::shared_ptr<const TBindings>& ABindings) {
    std::lock_guard lock(FLock);
    FLast = ABindings;
    FChanged.notify_all();
  }
  // Waits, generously, for a snapshot that plays ASequence for LandingGearToggle.
  bool WaitFor(const std::u16string& ASequence) {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, std::chrono::seconds(20), [&] {
      const auto binding = FLast ? FLast->Lookup("LandingGearToggle") : std::nullopt;
      return binding && binding->Sequence() == ASequence;
    });
  }

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  std::shared_ptr<const TBindings> FLast;
};

TEST(BindingsWatcherConcurrent, FollowsTheGameRewritingItsFiles) {
  TBindingsFolder folder;
  folder.Dir.Write("StartPreset.start", "Custom");
  folder.Dir.Write("Custom.4.0.binds", Binds("en-US", KeyAction("LandingGearToggle", "Key_L")));
  TBindingsHolder holder;
  TListened listened;
  TBindingsWatcher watcher(holder, folder.Source(), [&](const auto& ABindings) { listened.Add(ABindings); },
                           std::chrono::milliseconds(50));
  EXPECT_EQ(Show(holder.Current()->Lookup("LandingGearToggle")->Sequence()), "l");

  folder.Dir.Write("Custom.4.0.binds", Binds("en-US", KeyAction("LandingGearToggle", "Key_F10")));
  EXPECT_TRUE(listened.WaitFor(u"{F10}"));
  folder.Dir.Write("Other.binds", Binds("en-US", KeyAction("LandingGearToggle", "Key_G")));
  folder.Dir.Write("StartPreset.start", "Other");
  EXPECT_TRUE(listened.WaitFor(u"g"));
  EXPECT_EQ(Show(holder.Current()->Lookup("LandingGearToggle")->Sequence()), "g");
}

}  // namespace
