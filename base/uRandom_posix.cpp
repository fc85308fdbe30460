#include <sys/random.h>

#include <cerrno>

#include "base/uErrors.h"
#include "base/uRandom.h"

std::string SecureRandomBytes(std::size_t ACount) {
  std::string bytes(ACount, '\0');
  std::size_t done = 0;
  while (done < ACount) {
    const ssize_t got = ::getrandom(bytes.data() + done, ACount - done, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw Exception(u"The system's random source failed");
    }
    done += static_cast<std::size_t>(got);
  }
  return bytes;
}
