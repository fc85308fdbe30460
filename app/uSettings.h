#pragma once
// The window's own choices that outlast a run: where the game's status file and key bindings
// are found, and whether the PC has a joystick. Kept in settings.json in the user's folder,
// written whole or not at all; a missing or broken file gives the defaults.

#include <string>

#include "web/uLiveSources.h"

struct TWindowSettings {
  TGameFolderChoice Status{TGameFolderChoice::Automatic, {}};
  TGameFolderChoice Bindings{TGameFolderChoice::Automatic, {}};
  bool NoJoystick = false;
};

// The settings of AFile (empty: the defaults); AProblem gets what was wrong with a file that
// could not be read, else it is cleared.
TWindowSettings ReadWindowSettings(const std::u16string& AFile, std::u16string& AProblem);
// Writes the settings; raises EInOutError when the file cannot be written. No file: nothing.
void WriteWindowSettings(const std::u16string& AFile, const TWindowSettings& ASettings);
