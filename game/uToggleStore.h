#pragma once
// Keeps the on/off state of the panel's own toggle cells across restarts: the true/false
// values under one prefix of the state ("cell.") live in a JSON file in the user's folder,
// an object of names and booleans: {"cell.gear": true}.

#include <map>
#include <mutex>
#include <string>

#include "game/uGameState.h"

// The file's name in the user's folder.
inline constexpr char16_t kToggleFileName[] = u"toggles.json";

class TToggleStore {
 public:
  // AFileName is normally UserTapdeckFolder() + kToggleFileName. Nothing is read or written
  // before Load.
  TToggleStore(TGameState& AState, std::u16string AFileName, std::string APrefix);
  // Stops saving; the state keeps its values.
  ~TToggleStore();
  TToggleStore(const TToggleStore&) = delete;
  TToggleStore& operator=(const TToggleStore&) = delete;

  // Puts the file's true/false values under the prefix into the state (other entries are
  // skipped), then saves the file again whenever one of the values under the prefix changes
  // (written whole or not at all). Returns "" when all went well or there was no file yet;
  // otherwise the message to show the user. A file that cannot be read or is no JSON object
  // is left as it is: nothing is loaded and the file is never written over, so the user can
  // put it right. A save that fails leaves the file as it was, and LastError() says why.
  std::u16string Load();
  // The message of the last save that failed; "" after a good one.
  std::u16string LastError() const;

 private:
  void Save();

  TGameState& FState;
  const std::u16string FFileName;
  const std::string FPrefix;
  int FListener = 0;

  mutable std::mutex FLock;  // one save at a time, so the newest values are written last
  std::map<std::string, bool> FSaved;
  std::u16string FLastError;
};
