#pragma once
// Where Elite Dangerous keeps the files the program reads: the folder of its status file
// (Status.json) and the folder of its key bindings. On Windows they are under the user's known
// folders; on Linux the game runs in Steam's Proton, so they are inside the game's Proton
// prefix in one of Steam's library folders. Every function lists candidates, best first,
// whether they exist or not; each path ends with the path separator.

#include <string>
#include <string_view>
#include <vector>

// The folders everything else is found from. The platform fills in what it has; a test
// injects its own.
struct TGameFolderRoots {
  std::u16string Home;          // the user's home folder, where Steam lives (Linux); else empty
  std::u16string SavedGames;    // the Saved Games known folder (Windows); else empty
  std::u16string LocalAppData;  // the local application-data known folder (Windows); else empty
};

// This machine's roots: $HOME on Linux; FOLDERID_SavedGames and FOLDERID_LocalAppData on
// Windows. A root the system does not name stays empty.
TGameFolderRoots GameFolderRoots();

// Folders that would hold Status.json.
std::vector<std::u16string> StatusFolderCandidates(const TGameFolderRoots& ARoots);
std::vector<std::u16string> StatusFolderCandidates();
// Folders that would hold the key-binding files (*.binds).
std::vector<std::u16string> BindingsFolderCandidates(const TGameFolderRoots& ARoots);
std::vector<std::u16string> BindingsFolderCandidates();

// Steam's library folders found from a home folder: ~/.steam/steam, ~/.local/share/Steam,
// the Flatpak Steam's folder, and every folder the libraryfolders.vdf of those lists; without
// duplicates, each ending with the path separator.
std::vector<std::u16string> SteamLibraryFolders(const std::u16string& AHome);

// One value of Steam's text key-value format, with the keys that lead to it from the
// outermost: {"libraryfolders", "0", "path"}.
struct TVdfValue {
  std::vector<std::string> Keys;
  std::string Value;
  bool operator==(const TVdfValue&) const = default;
};

// Steam's text key-value format (quoted or bare keys and values, braces for nested blocks,
// "\\", "\"", "\n" and "\t" escapes, "//" comments, "[$WIN32]" conditions ignored), read
// into its values in file order. Reading stops at the first thing that breaks the format (or
// nests deeper than 32 blocks), keeping what came before; no input makes it fail.
std::vector<TVdfValue> ParseVdf(std::string_view AText);
// The library folders a libraryfolders.vdf lists, in file order: the "path" value of each
// entry (and, in the older form, the value of each numbered key).
std::vector<std::string> VdfLibraryPaths(std::string_view AText);
