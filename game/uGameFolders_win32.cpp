#include "game/uGameFolders.h"

#include "base/uSystem_win32.h"

#include <knownfolders.h>
#include <shlobj.h>

namespace {

std::u16string KnownFolder(REFKNOWNFOLDERID AId) {
  PWSTR folder = nullptr;
  std::u16string path;
  if (SUCCEEDED(::SHGetKnownFolderPath(AId, 0, nullptr, &folder))) path = FromWide(folder);
  ::CoTaskMemFree(folder);
  return path;
}

}  // namespace

TGameFolderRoots GameFolderRoots() {
  TGameFolderRoots roots;
  roots.SavedGames = KnownFolder(FOLDERID_SavedGames);
  roots.LocalAppData = KnownFolder(FOLDERID_LocalAppData);
  return roots;
}
