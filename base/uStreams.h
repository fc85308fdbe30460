#pragma once
// TMemoryStream: a growable block of bytes with a read/write position, used for response
// bodies that a route builds in memory.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TMemoryStream {
 public:
  TMemoryStream() = default;
  // Starts with these bytes, positioned at the start.
  explicit TMemoryStream(std::string ABytes) : FBytes(std::move(ABytes)) {}

  const std::string& Bytes() const { return FBytes; }
  std::int64_t Size() const { return static_cast<std::int64_t>(FBytes.size()); }
  std::int64_t Position() const { return static_cast<std::int64_t>(FPosition); }
  // Any position from 0 up is allowed; a write beyond the end fills the gap with zero bytes.
  void SetPosition(std::int64_t APosition);

  // Writes at the position, overwriting or growing the stream, and moves past what it wrote.
  void Write(std::string_view ABytes);
  // Up to ACount bytes from the position (fewer at the end), moving past them.
  std::string Read(std::size_t ACount);
  void Clear();

 private:
  std::string FBytes;
  std::size_t FPosition = 0;
};
