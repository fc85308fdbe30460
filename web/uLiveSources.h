#pragma once
// What feeds the live state and the game actions while the program runs: the game's status
// file, the player's key bindings and the toggle cells' own state. The window and
// tapdeck-headless each own one; every change reaches the open pages' streams.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "game/uBindingsWatcher.h"
#include "game/uStatusFile.h"
#include "game/uToggleStore.h"

// Where a game file is looked for: nowhere, where the game keeps it, or a folder of the user's.
struct TGameFolderChoice {
  enum TKind { Off, Automatic, Picked } Kind = Off;
  std::u16string Folder;  // for Picked: a folder, or (for the bindings) one .binds file
};

class TLiveSources {
 public:
  TLiveSources();
  ~TLiveSources();
  TLiveSources(const TLiveSources&) = delete;
  TLiveSources& operator=(const TLiveSources&) = delete;

  // The status file: watched from now on as chosen.
  void SetStatusFolder(const TGameFolderChoice& AChoice);
  // The key bindings, read at once and again whenever the game rewrites them; ADevice is the
  // joystick device number whose bindings are Tapdeck's own.
  void SetBindings(const TGameFolderChoice& AChoice, std::int32_t ADevice);
  // The toggle cells' state, kept in AFile (empty: kept in memory only); the message to show
  // when the file is broken, else empty.
  std::u16string SetToggleFile(const std::u16string& AFile);

  TStatusFileInfo StatusInfo() const;
  // The window's lines: "Game: Status.json, changed 21:03:15" or why not; "Bindings: <file>,
  // 2 of the panel's actions unbound" or why none.
  std::u16string GameLine() const;
  std::u16string BindingsLine() const;
  // Rises whenever one of the lines may have changed.
  std::uint64_t Version() const;

 private:
  void Changed();

  mutable std::mutex FLock;
  std::uint64_t FVersion = 0;
  std::unique_ptr<TStatusFileWatcher> FStatus;
  std::unique_ptr<TBindingsWatcher> FBindings;
  std::unique_ptr<TToggleStore> FToggles;
  TGameFolderChoice FStatusChoice;
};
