#include "base/uUserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "base/uText.h"

std::u16string UserTapdeckFolder() {
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG rules say.
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
    return Utf8ToUtf16(config) + u"/tapdeck/";
  const char* home = std::getenv("HOME");
  if (!home || !home[0]) {
    const passwd* entry = ::getpwuid(::getuid());
    home = entry ? entry->pw_dir : nullptr;
  }
  if (!home || !home[0]) return {};
  return Utf8ToUtf16(home) + u"/.config/tapdeck/";
}
