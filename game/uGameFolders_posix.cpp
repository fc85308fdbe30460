#include "game/uGameFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "base/uText.h"

TGameFolderRoots GameFolderRoots() {
  const char* home = std::getenv("HOME");
  if (!home || !home[0]) {
    const passwd* entry = ::getpwuid(::getuid());
    home = entry ? entry->pw_dir : nullptr;
  }
  TGameFolderRoots roots;
  if (home && home[0]) roots.Home = Utf8ToUtf16(home);
  return roots;
}
