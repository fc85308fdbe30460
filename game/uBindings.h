#pragma once
// The player's key bindings for the game: which .binds file is in use, and for each button
// action what this program presses for it.
//
// The bindings folder names the active preset in StartPreset.4.start (one preset a line, for
// the groups general, ship, SRV and on foot) or else StartPreset.start (one preset for all).
// A preset name picks <name>.4.0.binds, else <name>.3.0.binds, else <name>.binds beside it; a
// name with no file is one of the game's built-in presets, whose bindings are not in a file,
// so the panel's own keys hold for its actions.
//
// Groups. The files do not mark them; an action's name decides:
//   "UI_..."                                        UI (looked up in the general preset)
//   "Humanoid..."                                   on foot
//   any name with "Buggy" in it                     SRV
//   camera and head-look actions ("Cam...",
//   "FreeCam...", "ToggleFreeCam...", "MoveFreeCam...",
//   "VanityCamera...", "HeadLook...", "Multicrew...") general
//   everything else                                 ship
//
// What an action plays: the primary binding when this program can press it, else the
// secondary. A keyboard binding is pressed as keys (modifiers held around the key); a binding
// of Tapdeck's own virtual joystick (named by its USB ids, see TapdeckJoystickDevices) as that
// joystick's button. Other devices' bindings are the player's own hardware: such an action
// counts as unbound, and so does one bound to a key this program has no mapping for.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "game/uBindsFile.h"
#include "base/uFiles.h"

enum class TActionGroup { Ship, SRV, OnFoot, General, UI };

TActionGroup ActionGroup(std::string_view AAction);
// "Ship", "SRV", "On Foot", "General", "UI".
std::u16string GroupName(TActionGroup AGroup);
// The action's name for people: "Landing Gear" for LandingGearToggle; names without one of
// their own are split into words ("Increase Engines Power").
std::u16string ActionLabel(std::string_view AAction);

enum class TBindingKind { Keys, Joystick, Unbound };
enum class TUnboundReason { None, NotInFile, NoBinding, OtherDevice, UnmappableKey };

// What this program does for one action.
struct TActionBinding {
  std::string Action;  // the game's name, "LandingGearToggle"
  TActionGroup Group = TActionGroup::Ship;
  std::u16string Label;  // "Landing Gear"

  TBindingKind Kind = TBindingKind::Unbound;
  // Keys: the modifier characters with their side marks ("+<", "^>%<"; empty for none) and
  // the key itself ("l", "{F5}", "{#}"), both in the key-sequence language.
  std::u16string Modifiers;
  std::u16string Key;
  // Joystick: the button number, from 1.
  int Button = 0;

  // The binding for people: "Left Shift + L", "F5", "Joystick button 7"; for an unbound action
  // what the file holds instead ("044F0402: button 3"), or "not bound".
  std::u16string Reading;
  TUnboundReason Reason = TUnboundReason::None;
  // Unbound: why, in words ("no keyboard binding", "this program cannot press
  // Key_Numpad_Enter of LandingGearToggle (keyboard layout en-US)"), and what to do in the game
  // ("Options, Controls, Ship, Landing Gear: bind a key as the secondary binding; your
  // joystick keeps the primary").
  std::u16string Why;
  std::u16string Fix;

  bool Bound() const { return Kind != TBindingKind::Unbound; }
  // Keys: the whole sequence, modifiers first ("+<l").
  std::u16string Sequence() const { return Modifiers + Key; }
  // Keys: the virtual keys of the modifiers, in the order they are pressed, for holding them
  // around the key (VK_LSHIFT 0xA0 for "+<", VK_RCONTROL 0xA3 for "^>"...).
  std::vector<std::uint8_t> ModifierKeys() const;
};

// What one button action of a file plays. AOurDevices: the device names that are Tapdeck's
// joystick (any letter case).
TActionBinding ResolveAction(const TBindsAction& AAction, std::string_view ALayout,
                             const std::vector<std::string>& AOurDevices);

// The device names the game gives Tapdeck's virtual joystick number ADevice: USB vendor and
// product ids in hexadecimal, vendor first. Windows: vJoy's "1234BEAD" (every vJoy device
// has those ids); Linux: the gamepad's own, vendor 0000 and product ADevice ("00000002").
std::vector<std::string> TapdeckJoystickDevices(std::int32_t ADevice);

// Where the bindings are: a bindings folder, or one .binds file the user picked (then it holds
// for every group); empty when none was found.
struct TBindingsSource {
  std::u16string Path;
  std::vector<std::string> OurDevices;
};

// A file a snapshot was made from (or looked for), as it was when read.
struct TBindingsInput {
  std::u16string Path;
  std::optional<TFileStamp> Stamp;  // nothing: it did not exist
  bool operator==(const TBindingsInput&) const = default;
};

inline constexpr std::u16string_view kNoBindingsFolder = u"no bindings folder found";
// The status while the game uses a built-in preset: the text around the preset's name.
std::u16string BuiltInPresetStatus(std::u16string_view APresetName);

// One reading of the bindings, never changed once made; shared as shared_ptr<const TBindings>.
class TBindings {
 public:
  // No bindings (the panel's own keys), for the reason AStatus.
  explicit TBindings(std::u16string AStatus);

  // The file in use (the ship preset's, or the only one), or why none: kNoBindingsFolder, the
  // built-in preset text, or a refused file's message (with "; still using <file>" when the
  // bindings read before it stay in use).
  const std::u16string& Status() const { return FStatus; }
  // A file is in use, for at least one group.
  bool InUse() const;
  // The file in use for the ship's group, else for the first group with one; empty for none.
  std::u16string FileName() const;
  // The last reading refused a file (the message is in Status).
  bool Refused() const { return FRefused; }

  // What to play for an action (the game's name, "LandingGearToggle"). Nothing when no file is
  // in use for its group: the panel's own keys hold. An action the file lacks is unbound
  // (NotInFile).
  std::optional<TActionBinding> Lookup(std::string_view AAction) const;
  // Every button action of the files in use, each from the file of its group, sorted by
  // group (ship, SRV, on foot, general, UI) and label: the editor's action picker.
  const std::vector<TActionBinding>& Actions() const { return FActions; }
  // The files this reading depends on, with their stamps: a change of any means a new reading.
  const std::vector<TBindingsInput>& Inputs() const { return FInputs; }

 private:
  friend std::shared_ptr<const TBindings> LoadBindings(const TBindingsSource&, const std::shared_ptr<const TBindings>&);

  std::u16string FStatus;
  bool FRefused = false;
  // The file read for each preset group (general, ship, SRV, on foot); empty where the
  // game's built-in preset, or nothing, holds.
  std::array<std::u16string, 4> FFiles;
  std::vector<TActionBinding> FActions;
  std::map<std::string, std::size_t, std::less<>> FIndex;
  std::vector<TBindingsInput> FInputs;
};

// Reads the bindings of ASource. A file that is refused (unreadable, malformed, too large,
// hostile) changes nothing: the result keeps APrevious's bindings (if any) with the refusal
// as its status, and the inputs of this reading, so that the next change of the file is seen.
std::shared_ptr<const TBindings> LoadBindings(const TBindingsSource& ASource,
                                              const std::shared_ptr<const TBindings>& APrevious = nullptr);

// The stamps of AInputs' files now: different from the inputs when any file changed.
std::vector<TBindingsInput> RestampInputs(const std::vector<TBindingsInput>& AInputs);
