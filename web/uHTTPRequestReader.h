#pragma once
// Reading an HTTP request off a connection: buffered lines and bytes with the service's
// limits, and the pure steps that turn the request line and headers into request fields.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "web/uByteChannel.h"

// Longest request line, header line or chunk-size line, before its line break.
inline constexpr std::size_t kMaxHTTPLineLength = 16384;

class THTTPReader {
 public:
  explicit THTTPReader(TByteChannel& AChannel) : FChannel(AChannel) {}
  THTTPReader(const THTTPReader&) = delete;
  THTTPReader& operator=(const THTTPReader&) = delete;

  enum class TLineResult { Ok, TooLong, Closed };
  // The bytes up to the next line feed, without it and without a carriage return right
  // before it. TooLong once more than kMaxHTTPLineLength bytes came without a line feed.
  TLineResult ReadLine(std::string& ALine);
  // Appends exactly ACount bytes to AOut; false when the connection ended first.
  bool ReadBytes(std::string& AOut, std::size_t ACount);
  // Whether request bytes beyond what was read are waiting, within AMilliseconds.
  bool BytesWaiting(int AMilliseconds);
  // Whether bytes beyond what was read have been received already.
  bool HasBuffered() const { return FStart < FEnd; }

 private:
  bool Fill();

  TByteChannel& FChannel;
  char FBuffer[8192];
  std::size_t FStart = 0;
  std::size_t FEnd = 0;
};

// A line's bytes as text, one character per byte; bytes above 0x7F read as U+FFFD.
std::u16string HTTPBytesToText(std::string_view ABytes);
// The same for a header value kept as bytes: each byte above 0x7F becomes U+FFFD in UTF-8.
std::string HTTPHeaderBytes(std::string_view ABytes);

// Whether a version text such as "HTTP/1.1" is 1.1 or later: a major number above 1, or
// major 1 with a minor number of 1 or more.
bool IsHTTP11OrLater(std::u16string_view AVersion);

// The request target split into its fields.
struct THTTPTarget {
  std::u16string PathInfo;  // decoded
  std::u16string Query;     // raw text after the first "?"
  std::u16string Host;      // from an absolute-form target, else empty
};
THTTPTarget SplitRequestTarget(std::u16string_view ATarget);
// Percent-decodes a path: "%XX" is a byte, "%uXXXX" a UTF-16 code unit, an escape with
// digits that are not hexadecimal is dropped with them, "+" stays; bytes read as UTF-8.
std::u16string DecodePathInfo(std::u16string_view APath);

// Without blanks and tabs at either end.
std::string_view TrimBytes(std::string_view s);

// A request's content type without its "charset" parameter (ParseContentType).
std::u16string ContentTypeWithoutCharset(std::u16string_view AContentType);
// The type alone, lower-cased and without parameters: "text/html; a=b" gives "text/html".
std::u16string MediaTypeOf(std::u16string_view AContentType);

// A "Content-Length" value: empty when it is not a number of 0 or more; a number too large
// for 64 bits reads as the largest value.
std::optional<std::uint64_t> ParseContentLength(std::string_view AValue);
// A chunk-size line: hexadecimal digits, anything from ";" on ignored; empty when it is not
// a number; a size too large for 64 bits reads as the largest value.
std::optional<std::uint64_t> ParseChunkSize(std::string_view ALine);
