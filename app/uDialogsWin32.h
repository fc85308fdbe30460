#pragma once
// The small modal dialogs of the Win32 windows: a line of text to type, a text to copy, and
// the system's folder picker. Each returns once the user has closed it.

#include <optional>
#include <string>

#include "base/uSystem_win32.h"

// Asks for a line of text, AText to start with; nothing when cancelled.
std::optional<std::u16string> AskText(HWND AOwner, const std::u16string& ATitle, const std::u16string& APrompt,
                                      const std::u16string& AText);
// Shows AText read-only and selected, under AExplanation, with "Copy and close", which puts
// it on the clipboard.
void ShowTextToCopy(HWND AOwner, const std::u16string& ATitle, const std::u16string& AExplanation,
                    const std::u16string& AText);
// The system's folder picker, starting at AStart where that folder exists; nothing when
// cancelled. Raises Exception when the picker cannot be shown.
std::optional<std::u16string> PickFolderDialog(HWND AOwner, const std::u16string& ATitle, const std::u16string& AStart);
