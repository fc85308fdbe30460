#include "base/uUserFolders.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "base/uSystem_win32.h"

std::u16string UserTapdeckFolder() {
  PWSTR folder = nullptr;
  std::u16string path;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder)))
    path = FromWide(folder) + u"\\Tapdeck\\";
  ::CoTaskMemFree(folder);
  return path;
}
