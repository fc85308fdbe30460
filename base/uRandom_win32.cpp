#include "base/uSystem_win32.h"

#include <bcrypt.h>

#include "base/uErrors.h"
#include "base/uRandom.h"

std::string SecureRandomBytes(std::size_t ACount) {
  std::string bytes(ACount, '\0');
  if (ACount > 0 && !BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bytes.data()),
                                                      static_cast<ULONG>(ACount), BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    throw Exception(u"The system's random source failed");
  return bytes;
}
