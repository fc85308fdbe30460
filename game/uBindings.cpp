#include "game/uBindings.h"

#include <algorithm>
#include <set>

#include "base/uFiles.h"
#include "base/uText.h"
#include "game/uBindsKeys.h"
#include "keys/uSendKeys.h"

namespace {

// Start files hold a few names; anything larger is not one.
constexpr std::size_t kMaxStartFileSize = 64 * 1024;
constexpr int kMaxJoystickButton = 128;

// Preset groups, in the order of the lines of StartPreset.4.start.
enum TPresetGroup { pgGeneral, pgShip, pgSRV, pgOnFoot };

TPresetGroup PresetGroupOf(TActionGroup AGroup) {
  switch (AGroup) {
    case TActionGroup::Ship: return pgShip;
    case TActionGroup::SRV: return pgSRV;
    case TActionGroup::OnFoot: return pgOnFoot;
    case TActionGroup::General:
    case TActionGroup::UI: break;
  }
  return pgGeneral;
}

struct TLabel {
  std::string_view Action;
  std::u16string_view Label;
};

// The actions a panel uses most, by the names players know them by.
constexpr std::array<TLabel, 21> kLabels{{
    {"LandingGearToggle", u"Landing Gear"},
    {"ShipSpotLightToggle", u"Ship Lights"},
    {"DeployHardpointToggle", u"Hardpoints"},
    {"ToggleCargoScoop", u"Cargo Scoop"},
    {"ToggleFlightAssist", u"Flight Assist"},
    {"UseBoostJuice", u"Boost"},
    {"HyperSuperCombination", u"Frame Shift Drive"},
    {"Supercruise", u"Supercruise"},
    {"Hyperspace", u"Hyperspace Jump"},
    {"DeployHeatSink", u"Heat Sink"},
    {"ToggleButtonUpInput", u"Silent Running"},
    {"NightVisionToggle", u"Night Vision"},
    {"PlayerHUDModeToggle", u"HUD Mode"},
    {"IncreaseEnginesPower", u"Power to Engines"},
    {"IncreaseSystemsPower", u"Power to Systems"},
    {"IncreaseWeaponsPower", u"Power to Weapons"},
    {"ResetPowerDistribution", u"Balance Power"},
    {"FocusLeftPanel", u"Left Panel"},
    {"FocusRightPanel", u"Right Panel"},
    {"GalaxyMapOpen", u"Galaxy Map"},
    {"SystemMapOpen", u"System Map"},
}};

bool IsOurDevice(std::string_view ADevice, const std::vector<std::string>& AOurDevices) {
  return std::any_of(AOurDevices.begin(), AOurDevices.end(),
                     [&](const std::string& ours) { return SameTextBytes(ours, ADevice); });
}

// The button of a joystick key "Joy_7", or 0.
int JoystickButton(std::string_view AKey) {
  return AKey.starts_with("Joy_") ? KeyNumber(AKey.substr(4), kMaxJoystickButton) : 0;
}

// One binding (a primary or a secondary) as this program sees it.
struct TSlot {
  enum TState { Empty, Keys, Joystick, OtherDevice, Unmappable } State = Empty;
  std::u16string Modifiers;
  std::u16string Key;
  int Button = 0;
  std::u16string Reading;
  std::string Device;   // OtherDevice: the device that is not ours
  std::string BadName;  // Unmappable: the key or modifier this program cannot press
};

std::u16string KeyReading(const TBindsKey& AKey, std::string_view ALayout, bool AOurs) {
  if (AKey.Keyboard()) {
    if (const auto key = SequenceKey(AKey.Key, ALayout)) return key->Reading;
    if (const auto modifier = SequenceModifier(AKey.Key)) return modifier->Reading;
    return KeyNameReading(AKey.Key);
  }
  const int button = JoystickButton(AKey.Key);
  if (AOurs) return button ? u"Joystick button " + IntToStr(button) : u"Joystick " + SplitWords(AKey.Key);
  return Utf8ToUtf16(AKey.Device) + u": " + (button ? u"button " + IntToStr(button) : SplitWords(AKey.Key));
}

TSlot Classify(const TBindsBinding& ABinding, std::string_view ALayout, const std::vector<std::string>& AOurDevices) {
  TSlot slot;
  if (ABinding.Unbound()) return slot;
  const bool ours = IsOurDevice(ABinding.Device, AOurDevices);
  std::vector<const TBindsKey*> modifiers;
  for (const TBindsKey& modifier : ABinding.Modifiers) {
    if (modifier.Unbound()) continue;
    modifiers.push_back(&modifier);
    slot.Reading += KeyReading(modifier, ALayout, IsOurDevice(modifier.Device, AOurDevices)) + u" + ";
  }
  slot.Reading += KeyReading(ABinding, ALayout, ours);
  const auto unmappable = [&](const std::string& AName) {
    slot.State = TSlot::Unmappable;
    slot.BadName = AName;
    return slot;
  };
  // The player's own hardware, for the key or for a modifier held with it.
  const auto foreign = [&](const TBindsKey& AKey) { return !AKey.Keyboard() && !IsOurDevice(AKey.Device, AOurDevices); };
  const TBindsKey* other = foreign(ABinding) ? &ABinding : nullptr;
  for (const TBindsKey* modifier : modifiers)
    if (!other && foreign(*modifier)) other = modifier;
  if (other) {
    slot.State = TSlot::OtherDevice;
    slot.Device = other->Device;
    return slot;
  }
  if (ours) {
    // A joystick button is pressed alone.
    if (!modifiers.empty()) return unmappable(modifiers.front()->Key);
    slot.Button = JoystickButton(ABinding.Key);
    if (!slot.Button) return unmappable(ABinding.Key);
    slot.State = TSlot::Joystick;
    return slot;
  }
  for (const TBindsKey* modifier : modifiers) {
    const auto mapped = modifier->Keyboard() ? SequenceModifier(modifier->Key) : std::nullopt;
    if (!mapped) return unmappable(modifier->Key);
    slot.Modifiers += mapped->Text;
  }
  const auto key = SequenceKey(ABinding.Key, ALayout);
  if (!key) return unmappable(ABinding.Key);
  slot.State = TSlot::Keys;
  slot.Key = key->Text;
  return slot;
}

bool Playable(const TSlot& ASlot) { return ASlot.State == TSlot::Keys || ASlot.State == TSlot::Joystick; }

// What stays in a slot the player is not asked to change.
std::u16string Keeps(const TSlot& ASlot, std::u16string_view AWhich) {
  if (ASlot.State == TSlot::OtherDevice)
    return (SameTextBytes(ASlot.Device, "Mouse") ? u"your mouse keeps the " : u"your joystick keeps the ") +
           std::u16string(AWhich);
  return ASlot.Reading + u" (the " + std::u16string(AWhich) + u") is a key this program cannot press";
}

std::u16string FixWords(const TSlot& APrimary, const TSlot& ASecondary) {
  if (APrimary.State == TSlot::Empty) {
    std::u16string words = u"bind a key as the primary binding";
    if (ASecondary.State != TSlot::Empty) words += u"; " + Keeps(ASecondary, u"secondary");
    return words;
  }
  if (ASecondary.State == TSlot::Empty)
    return u"bind a key as the secondary binding; " + Keeps(APrimary, u"primary");
  const bool primaryFirst = APrimary.State == TSlot::Unmappable && ASecondary.State != TSlot::Unmappable;
  const TSlot& replaced = primaryFirst ? APrimary : ASecondary;
  return u"replace the " + std::u16string(primaryFirst ? u"primary" : u"secondary") + u" binding (" +
         replaced.Reading + u") with a key this program can press";
}

std::u16string ControlsPlace(const TActionBinding& ABinding) {
  return u"Options, Controls, " + GroupName(ABinding.Group) + u", " + ABinding.Label + u": ";
}

TActionBinding Named(std::string_view AAction) {
  TActionBinding binding;
  binding.Action = std::string(AAction);
  binding.Group = ActionGroup(AAction);
  binding.Label = ActionLabel(AAction);
  return binding;
}

TActionBinding MissingAction(std::string_view AAction, const std::u16string& AFileName) {
  TActionBinding binding = Named(AAction);
  binding.Reading = u"not bound";
  binding.Reason = TUnboundReason::NotInFile;
  binding.Why = Utf8ToUtf16(AAction) + u" is not in " + AFileName;
  binding.Fix = ControlsPlace(binding) + u"bind a key";
  return binding;
}

bool IsPathSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

bool EndsWithNoCase(std::u16string_view AText, std::u16string_view AEnd) {
  return AText.size() >= AEnd.size() && SameText(AText.substr(AText.size() - AEnd.size()), AEnd);
}

// The preset names of a start file, one per line; blank lines and a byte-order mark are
// skipped. Raises EBindsError for a file that is no start file.
std::vector<std::u16string> ReadStartFile(const std::u16string& APath) {
  std::string bytes;
  try {
    bytes = ReadSharedFileBytes(APath, kMaxStartFileSize);
  } catch (const Exception& e) {
    throw EBindsError(APath + u": cannot be read: " + e.Message());
  }
  if (bytes.size() > kMaxStartFileSize) throw EBindsError(APath + u": not a preset list (too large); refused");
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
  std::vector<std::u16string> names;
  std::size_t start = 0;
  while (start <= bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string_view line(bytes.data() + start, end - start);
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.remove_suffix(1);
    while (!line.empty() && static_cast<unsigned char>(line.front()) <= ' ') line.remove_prefix(1);
    if (!line.empty()) {
      const std::u16string name = Utf8ToUtf16(line);
      const bool control = std::any_of(name.begin(), name.end(), [](char16_t c) { return c < u' '; });
      if (control || name == u"." || name == u".." ||
          name.find_first_of(u"/\\:*?\"<>|") != std::u16string::npos)
        throw EBindsError(APath + u": \"" + name + u"\" is not a preset name; refused");
      names.push_back(name);
    }
    start = end + 1;
  }
  if (names.empty()) throw EBindsError(APath + u": names no preset; refused");
  return names;
}

}  // namespace

TActionGroup ActionGroup(std::string_view AAction) {
  if (AAction.starts_with("UI_")) return TActionGroup::UI;
  if (AAction.starts_with("Humanoid")) return TActionGroup::OnFoot;
  if (AAction.find("Buggy") != std::string_view::npos) return TActionGroup::SRV;
  for (std::string_view prefix : {"Cam", "FreeCam", "ToggleFreeCam", "MoveFreeCam", "VanityCamera", "HeadLook", "Multicrew"})
    if (AAction.starts_with(prefix)) return TActionGroup::General;
  return TActionGroup::Ship;
}

std::u16string GroupName(TActionGroup AGroup) {
  switch (AGroup) {
    case TActionGroup::Ship: return u"Ship";
    case TActionGroup::SRV: return u"SRV";
    case TActionGroup::OnFoot: return u"On Foot";
    case TActionGroup::General: return u"General";
    case TActionGroup::UI: break;
  }
  return u"UI";
}

std::u16string ActionLabel(std::string_view AAction) {
  for (const TLabel& label : kLabels)
    if (label.Action == AAction) return std::u16string(label.Label);
  // On-foot actions all begin with "Humanoid"; their group says so already.
  if (AAction.starts_with("Humanoid") && AAction.size() > 8) AAction.remove_prefix(8);
  return SplitWords(AAction);
}

std::vector<std::uint8_t> TActionBinding::ModifierKeys() const {
  std::vector<std::uint8_t> keys;
  constexpr std::u16string_view kCharacters = u"^%+#&";
  for (std::size_t i = 0; i < Modifiers.size(); ++i) {
    const std::size_t modifier = kCharacters.find(Modifiers[i]);
    if (modifier == std::u16string_view::npos) continue;
    std::size_t side = 0;
    if (i + 1 < Modifiers.size() && (Modifiers[i + 1] == u'<' || Modifiers[i + 1] == u'>')) side = Modifiers[++i] == u'<' ? 1 : 2;
    keys.push_back(ShiftKeys[side * 5 + modifier]);
  }
  return keys;
}

TActionBinding ResolveAction(const TBindsAction& AAction, std::string_view ALayout,
                             const std::vector<std::string>& AOurDevices) {
  TActionBinding binding = Named(AAction.Name);
  const TSlot primary = Classify(AAction.Primary, ALayout, AOurDevices);
  const TSlot secondary = Classify(AAction.Secondary, ALayout, AOurDevices);
  const TSlot* played = Playable(primary) ? &primary : Playable(secondary) ? &secondary : nullptr;
  if (played) {
    binding.Kind = played->State == TSlot::Keys ? TBindingKind::Keys : TBindingKind::Joystick;
    binding.Modifiers = played->Modifiers;
    binding.Key = played->Key;
    binding.Button = played->Button;
    binding.Reading = played->Reading;
    return binding;
  }
  for (const TSlot* slot : {&primary, &secondary}) {
    if (slot->State == TSlot::Empty) continue;
    if (!binding.Reading.empty()) binding.Reading += u"; ";
    binding.Reading += slot->Reading;
  }
  if (binding.Reading.empty()) binding.Reading = u"not bound";
  const TSlot* unmappable = primary.State == TSlot::Unmappable ? &primary
                            : secondary.State == TSlot::Unmappable ? &secondary
                                                                   : nullptr;
  if (unmappable) {
    binding.Reason = TUnboundReason::UnmappableKey;
    binding.Why = u"this program cannot press " + Utf8ToUtf16(unmappable->BadName) + u" of " + Utf8ToUtf16(AAction.Name) +
                  u" (keyboard layout " + Utf8ToUtf16(ALayout.empty() ? "en-US" : ALayout) + u")";
  } else if (primary.State == TSlot::OtherDevice || secondary.State == TSlot::OtherDevice) {
    binding.Reason = TUnboundReason::OtherDevice;
    binding.Why = u"bound to another device only: " + binding.Reading;
  } else {
    binding.Reason = TUnboundReason::NoBinding;
    binding.Why = u"no keyboard binding";
  }
  binding.Fix = ControlsPlace(binding) + FixWords(primary, secondary);
  return binding;
}

std::u16string BuiltInPresetStatus(std::u16string_view APresetName) {
  return u"the game uses its built-in preset " + std::u16string(APresetName) +
         u"; change any binding in the game once, or pick a .binds file";
}

TBindings::TBindings(std::u16string AStatus) : FStatus(std::move(AStatus)) {}

bool TBindings::InUse() const {
  return std::any_of(FFiles.begin(), FFiles.end(), [](const std::u16string& file) { return !file.empty(); });
}

std::u16string TBindings::FileName() const {
  if (!FFiles[pgShip].empty()) return FFiles[pgShip];
  for (const std::u16string& file : FFiles)
    if (!file.empty()) return file;
  return {};
}

std::optional<TActionBinding> TBindings::Lookup(std::string_view AAction) const {
  const std::u16string& file = FFiles[PresetGroupOf(ActionGroup(AAction))];
  if (file.empty()) return std::nullopt;
  const auto found = FIndex.find(AAction);
  if (found == FIndex.end()) return MissingAction(AAction, file);
  return FActions[found->second];
}

std::vector<TBindingsInput> RestampInputs(const std::vector<TBindingsInput>& AInputs) {
  std::vector<TBindingsInput> inputs = AInputs;
  for (TBindingsInput& input : inputs) input.Stamp = FileStamp(input.Path);
  return inputs;
}

std::shared_ptr<const TBindings> LoadBindings(const TBindingsSource& ASource,
                                              const std::shared_ptr<const TBindings>& APrevious) {
  auto bindings = std::make_shared<TBindings>(std::u16string(kNoBindingsFolder));
  if (ASource.Path.empty()) return bindings;
  // Each input is stamped before it is read: a change while reading is seen at the next look.
  const auto look = [&](const std::u16string& APath) {
    bindings->FInputs.push_back(TBindingsInput{APath, FileStamp(APath)});
    return bindings->FInputs.back().Stamp.has_value();
  };
  std::array<std::u16string, 4> presets;  // the preset name of each group (a folder's)
  std::map<std::u16string, std::shared_ptr<const TBindsFile>> files;  // by file name, each read once
  try {
    if (EndsWithNoCase(ASource.Path, u".binds")) {
      look(ASource.Path);
      files[ASource.Path] = std::make_shared<TBindsFile>(ReadBindsFile(ASource.Path));
      bindings->FFiles.fill(ASource.Path);
    } else {
      std::u16string folder = ASource.Path;
      if (!IsPathSeparator(folder.back())) folder += PathDelimiter();
      const std::u16string start4 = folder + u"StartPreset.4.start";
      const std::u16string start = folder + u"StartPreset.start";
      const bool hasStart4 = look(start4);
      const bool hasStart = look(start);
      if (!hasStart4 && !hasStart) {
        bindings->FStatus = u"no StartPreset.4.start or StartPreset.start in " + folder;
        return bindings;
      }
      const std::vector<std::u16string> names = ReadStartFile(hasStart4 ? start4 : start);
      // An older start file names one preset for every group; a line missing from a newer one
      // takes the first line's.
      for (std::size_t group = 0; group < presets.size(); ++group)
        presets[group] = hasStart4 && group < names.size() ? names[group] : names.front();
      std::set<std::u16string> seen;
      for (std::size_t group = 0; group < presets.size(); ++group) {
        const std::u16string& name = presets[group];
        for (const std::u16string_view ending : {u".4.0.binds", u".3.0.binds", u".binds"}) {
          const std::u16string path = folder + name + std::u16string(ending);
          const bool exists = seen.insert(path).second ? look(path) : files.contains(path);
          if (!exists) continue;
          if (!files.contains(path)) files[path] = std::make_shared<TBindsFile>(ReadBindsFile(path));
          bindings->FFiles[group] = path;
          break;
        }
      }
    }
  } catch (const EBindsError& e) {
    // Refused: the bindings read before stay in use.
    const std::vector<TBindingsInput> inputs = bindings->FInputs;
    if (APrevious && APrevious->InUse()) {
      bindings = std::make_shared<TBindings>(*APrevious);
      bindings->FStatus = e.Message() + u"; still using " + APrevious->FileName();
    } else {
      bindings->FFiles.fill(u"");
      bindings->FStatus = e.Message();
    }
    bindings->FInputs = inputs;
    bindings->FRefused = true;
    return bindings;
  }

  for (std::size_t group = 0; group < presets.size(); ++group) {
    const std::u16string& path = bindings->FFiles[group];
    if (path.empty()) continue;
    const TBindsFile& file = *files.at(path);
    for (const TBindsAction& action : file.Actions) {
      if (PresetGroupOf(ActionGroup(action.Name)) != static_cast<TPresetGroup>(group)) continue;
      bindings->FActions.push_back(ResolveAction(action, file.KeyboardLayout, ASource.OurDevices));
    }
  }
  std::stable_sort(bindings->FActions.begin(), bindings->FActions.end(), [](const TActionBinding& a, const TActionBinding& b) {
    return a.Group != b.Group ? a.Group < b.Group : a.Label < b.Label;
  });
  for (std::size_t i = 0; i < bindings->FActions.size(); ++i) bindings->FIndex.emplace(bindings->FActions[i].Action, i);
  const std::u16string shipFile = bindings->FileName();
  bindings->FStatus = bindings->FFiles[pgShip].empty() && !presets[pgShip].empty()
                          ? BuiltInPresetStatus(presets[pgShip])
                          : shipFile;
  return bindings;
}
