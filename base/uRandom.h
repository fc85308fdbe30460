#pragma once
// Random bytes from the system's secure source, for secrets that must not be guessed
// (device credentials, pairing codes).

#include <cstddef>
#include <cstdint>
#include <string>

// ACount bytes; raises Exception when the system's source fails.
std::string SecureRandomBytes(std::size_t ACount);
// A number from 0 to ABound - 1, evenly drawn from the secure source (ABound > 0).
std::uint32_t SecureRandomBelow(std::uint32_t ABound);
