#pragma once
// The game's status file, Status.json: the game rewrites it whole whenever the ship's state
// changes. Its flags and values become the state's names under "elite.", and a watcher keeps
// the state in step with the file.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/uFiles.h"
#include "game/uGameState.h"

inline constexpr char kElitePrefix[] = "elite.";
// True while the status file was written within the last minute: the game is running.
inline constexpr char kEliteRunning[] = "elite.Running";

// Every name the status file can give (each bit of Flags and of Flags2, including the
// Flags2 bits without a name of their own, "elite.Flags2Bit20" to "elite.Flags2Bit31"), the
// values, and elite.Running; in a fixed order: flags, Flags2, values, Running.
const std::vector<TStateName>& EliteStateNames();

// The names the file's bytes give, each with its "elite." prefix: all 32 bits of Flags (read
// as unsigned) when the file holds Flags, all 32 of Flags2 when it holds Flags2, and each
// value the file holds with the right type (Pips as elite.Pips.Sys, .Eng and .Wep, in half
// pips). Members missing or of the wrong type are absent; unknown members are ignored.
// Nothing when the bytes are not one whole JSON object (empty, half-written, garbage).
std::optional<std::map<std::string, TStateData>> ParseStatusFile(std::string_view ABytes);

// What the watcher knows about the file, for the window.
struct TStatusFileInfo {
  std::u16string Folder;    // the folder watched; empty when off or when no game folder exists
  std::u16string FileName;  // Status.json's full path while it exists there; else empty
  // The file's own time at its last good read; nothing before the first.
  std::optional<std::chrono::system_clock::time_point> LastChange;
  bool Running = false;  // what elite.Running says
  // Reads since the last good one that gave nothing (the game was mid-write, or the file is
  // broken).
  unsigned BadReads = 0;
  bool operator==(const TStatusFileInfo&) const = default;
};

// Keeps the state's "elite." names in step with the Status.json of one folder, from a thread
// of its own. It looks at the file's size and time every 50 ms (one stat) and reads it when
// they change. A good read replaces every "elite." name; an empty, half-written, vanished or
// otherwise unreadable file is what the game's rewriting looks like, so the last good state is
// kept and the file read again on its next change; nothing is ever logged. elite.Running is
// kept up to date as time passes.
class TStatusFileWatcher {
 public:
  // Starts off (no folder). AOnInfo, when given, runs on the watcher's thread each time
  // Info() changes. ACandidates lists the folders the automatic choice looks in.
  explicit TStatusFileWatcher(TGameState& AState, std::function<void()> AOnInfo = {},
                              std::function<std::vector<std::u16string>()> ACandidates = {});
  // Ends the thread at once; the state keeps what it holds.
  ~TStatusFileWatcher();
  TStatusFileWatcher(const TStatusFileWatcher&) = delete;
  TStatusFileWatcher& operator=(const TStatusFileWatcher&) = delete;

  // Watches AFolder (a path ending with the separator; empty: watch nothing). A different
  // folder clears the "elite." names (elite.Running becomes false) until its file is read.
  void SetFolder(const std::u16string& AFolder);
  // Watches the first of the candidates (StatusFolderCandidates() unless others were given)
  // that holds Status.json, else the first that exists; while none holds the file the choice
  // is made again every few seconds, so a game installed or started later is found.
  void SetAutomaticFolder();

  TStatusFileInfo Info() const;

  // How often the file is looked at, and how often the automatic choice is made again.
  static constexpr std::chrono::milliseconds kPollInterval{50};
  static constexpr std::chrono::seconds kSearchInterval{5};
  // The game is taken to be running while its file is younger than this.
  static constexpr std::chrono::seconds kRunningWindow{60};

 private:
  void Run();
  void Poll(std::chrono::steady_clock::time_point ANow);
  std::u16string ChooseFolder() const;
  void ChangeFolder(const std::u16string& AFolder);
  // Reads the file into the state; true when it gave a good state.
  bool Read(const std::u16string& AFileName, bool ARunning);

  TGameState& FState;
  const std::function<void()> FOnInfo;
  const std::function<std::vector<std::u16string>()> FCandidates;

  mutable std::mutex FLock;
  std::condition_variable FWake;
  bool FStop = false;
  // What SetFolder and SetAutomaticFolder asked for; FRequest counts the calls.
  std::u16string FRequestedFolder;
  bool FRequestedAutomatic = false;
  unsigned FRequest = 0;
  TStatusFileInfo FInfo;

  // The watcher thread's own.
  unsigned FRequestSeen = 0;
  bool FAutomatic = false;
  bool FSearchNow = false;
  std::chrono::steady_clock::time_point FNextSearch;
  std::u16string FFolder;
  std::optional<TFileStamp> FReadStamp;  // the file's stamp at its last read, good or bad
  int FRetries = 0;                      // reads left of a bad file that keeps its stamp
  unsigned FBadReads = 0;
  std::optional<std::chrono::system_clock::time_point> FLastWritten;  // the file's time, last seen
  std::optional<std::chrono::system_clock::time_point> FLastChange;   // the file's time, last good read

  std::thread FThread;  // last: started once everything above is ready
};
