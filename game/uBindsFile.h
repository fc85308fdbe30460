#pragma once
// One .binds file of the game: the player's bindings of one preset, in XML. A Root element
// (PresetName, MajorVersion, MinorVersion) holds KeyboardLayout and one element per action. A
// button action holds Primary and Secondary, each with Device and Key and optional Modifier
// children of the same form; axis actions (Binding) and settings (only a Value) are skipped.
// A file is read whole or refused whole: malformed, larger than 4 MiB, with a DOCTYPE (so no
// entity of its own) or nested deeper than any bindings file is.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/uErrors.h"

inline constexpr std::size_t kMaxBindsFileSize = 4 * 1024 * 1024;

// Device and Key of a binding or of one of its modifiers, as the file has them (UTF-8).
struct TBindsKey {
  std::string Device;
  std::string Key;
  // {NoDevice} or no device: nothing is bound, whatever the key says.
  bool Unbound() const { return Device.empty() || Device == "{NoDevice}"; }
  bool Keyboard() const { return Device == "Keyboard"; }
};

struct TBindsBinding : TBindsKey {
  std::vector<TBindsKey> Modifiers;
};

struct TBindsAction {
  std::string Name;
  TBindsBinding Primary;
  TBindsBinding Secondary;
};

struct TBindsFile {
  std::u16string FileName;
  std::string PresetName;
  std::string MajorVersion;
  std::string MinorVersion;
  std::string KeyboardLayout;  // as the file names it, "en-US"; empty when it names none
  std::vector<TBindsAction> Actions;  // the button actions, in the file's order

  // The button action of that name, or null.
  const TBindsAction* Find(std::string_view AName) const;
};

// A file that was refused; the message names the file and what is wrong with it.
class EBindsError : public Exception {
  using Exception::Exception;
};

// Reads a file's bytes; AName is the name messages give the file. Raises EBindsError.
TBindsFile ParseBindsFile(std::string_view ABytes, std::u16string_view AName);
// Reads and parses the file; a file that cannot be read, or is too large, raises EBindsError.
TBindsFile ReadBindsFile(const std::u16string& AFileName);
