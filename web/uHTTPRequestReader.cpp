#include "web/uHTTPRequestReader.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/uText.h"
#include "web/uContentType.h"

namespace {

constexpr char16_t kReplacement = u'\xFFFD';

// The value of ACount hexadecimal digits at APos, or -1 when there are fewer or one is not.
long HexRun(std::u16string_view text, std::size_t pos, std::size_t count) {
  if (pos + count > text.size()) return -1;
  long value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int digit = HexDigitValue(text[pos + i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Digits in a base, saturating at the largest 64-bit value; empty when there are none or a
// character is not a digit.
std::optional<std::uint64_t> ParseUnsigned(std::string_view digits, int base) {
  if (digits.empty()) return std::nullopt;
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t value = 0;
  for (char c : digits) {
    const int digit = HexDigitValue(static_cast<unsigned char>(c));
    if (digit < 0 || digit >= base) return std::nullopt;
    const auto d = static_cast<std::uint64_t>(digit);
    const auto b = static_cast<std::uint64_t>(base);
    value = value > (kMax - d) / b ? kMax : value * b + d;
  }
  return value;
}

}  // namespace

std::string_view TrimBytes(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool THTTPReader::Fill() {
  FStart = FEnd = 0;
  const std::ptrdiff_t got = FChannel.Receive(FBuffer, sizeof FBuffer);
  if (got <= 0) return false;
  FEnd = static_cast<std::size_t>(got);
  return true;
}

THTTPReader::TLineResult THTTPReader::ReadLine(std::string& ALine) {
  ALine.clear();
  for (;;) {
    if (FStart == FEnd && !Fill()) return TLineResult::Closed;
    const char* begin = FBuffer + FStart;
    const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', FEnd - FStart));
    const std::size_t take = lf ? static_cast<std::size_t>(lf - begin) : FEnd - FStart;
    // One byte of slack for the carriage return that may end the line.
    if (ALine.size() + take > kMaxHTTPLineLength + 1) return TLineResult::TooLong;
    ALine.append(begin, take);
    FStart += take;
    if (lf) {
      ++FStart;  // the line feed
      if (!ALine.empty() && ALine.back() == '\r') ALine.pop_back();
      return ALine.size() > kMaxHTTPLineLength ? TLineResult::TooLong : TLineResult::Ok;
    }
  }
}

bool THTTPReader::ReadBytes(std::string& AOut, std::size_t ACount) {
  const std::size_t buffered = std::min(ACount, FEnd - FStart);
  AOut.append(FBuffer + FStart, buffered);
  FStart += buffered;
  ACount -= buffered;
  if (ACount == 0) return true;
  // Large bodies go straight into their destination.
  const std::size_t offset = AOut.size();
  AOut.resize(offset + ACount);
  std::size_t done = 0;
  while (done < ACount) {
    const std::ptrdiff_t got = FChannel.Receive(AOut.data() + offset + done, ACount - done);
    if (got <= 0) {
      AOut.resize(offset + done);
      return false;
    }
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool THTTPReader::BytesWaiting(int AMilliseconds) {
  if (FStart < FEnd) return true;
  return FChannel.WaitReadable(AMilliseconds) && Fill();
}

std::u16string HTTPBytesToText(std::string_view ABytes) {
  std::u16string text(ABytes.size(), u'\0');
  std::transform(ABytes.begin(), ABytes.end(), text.begin(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b > 0x7F ? kReplacement : static_cast<char16_t>(b);
  });
  return text;
}

std::string HTTPHeaderBytes(std::string_view ABytes) {
  if (std::none_of(ABytes.begin(), ABytes.end(), [](char c) { return static_cast<unsigned char>(c) > 0x7F; }))
    return std::string(ABytes);
  std::string out;
  out.reserve(ABytes.size() + 8);
  for (char c : ABytes) {
    if (static_cast<unsigned char>(c) > 0x7F)
      out += "\xEF\xBF\xBD";
    else
      out += c;
  }
  return out;
}

bool IsHTTP11OrLater(std::u16string_view AVersion) {
  auto number = [&](std::size_t pos) {
    long value = 0;
    while (pos < AVersion.size() && AVersion[pos] >= u'0' && AVersion[pos] <= u'9' && value < 100000)
      value = value * 10 + (AVersion[pos++] - u'0');
    return value;
  };
  const std::size_t slash = AVersion.find(u'/');
  if (slash == std::u16string_view::npos) return false;
  const long major = number(slash + 1);
  const std::size_t dot = AVersion.find(u'.', slash + 1);
  const long minor = dot == std::u16string_view::npos ? 0 : number(dot + 1);
  return major > 1 || (major == 1 && minor >= 1);
}

THTTPTarget SplitRequestTarget(std::u16string_view ATarget) {
  THTTPTarget result;
  std::u16string_view path = ATarget;
  if (const std::size_t q = ATarget.find(u'?'); q != std::u16string_view::npos) {
    result.Query = std::u16string(ATarget.substr(q + 1));
    path = ATarget.substr(0, q);
  }
  if (path == u"*") {
    result.PathInfo.assign(1, u'*');
    return result;
  }
  // The absolute form: scheme "://" authority, then the path.
  if (!path.empty() && path.front() != u'/') {
    if (const std::size_t sep = path.find(u"://"); sep != std::u16string_view::npos && sep > 0) {
      std::u16string_view rest = path.substr(sep + 3);
      const std::size_t slash = rest.find(u'/');
      std::u16string_view authority = rest.substr(0, slash);
      if (const std::size_t at = authority.rfind(u'@'); at != std::u16string_view::npos)
        authority.remove_prefix(at + 1);
      result.Host = std::u16string(authority);
      path = slash == std::u16string_view::npos ? std::u16string_view(u"/") : rest.substr(slash);
    }
  }
  // A fragment never names a resource on the server.
  if (const std::size_t hash = path.find(u'#'); hash != std::u16string_view::npos) path = path.substr(0, hash);
  result.PathInfo = DecodePathInfo(path);
  return result;
}

std::u16string DecodePathInfo(std::u16string_view APath) {
  std::u16string text;
  text.reserve(APath.size());
  std::string bytes;  // decoded bytes not yet read as UTF-8
  auto flush = [&] {
    if (bytes.empty()) return;
    text += Utf8ToUtf16(bytes);
    bytes.clear();
  };
  std::size_t i = 0;
  while (i < APath.size()) {
    const char16_t c = APath[i];
    if (c != u'%') {
      if (c < 0x80) {
        bytes += static_cast<char>(c);
      } else {
        flush();
        text += c;
      }
      ++i;
      continue;
    }
    if (i + 1 < APath.size() && (APath[i + 1] == u'u' || APath[i + 1] == u'U')) {
      const long unit = HexRun(APath, i + 2, 4);
      if (unit >= 0) {
        flush();
        text += static_cast<char16_t>(unit);
      }
      i = std::min(APath.size(), i + 6);
      continue;
    }
    const long byte = HexRun(APath, i + 1, 2);
    if (byte >= 0) bytes += static_cast<char>(byte);
    i = std::min(APath.size(), i + 3);
  }
  flush();
  return text;
}

std::u16string ContentTypeWithoutCharset(std::u16string_view AContentType) {
  return ParseContentType(AContentType).WithoutCharset;
}

std::u16string MediaTypeOf(std::u16string_view AContentType) {
  std::u16string type = ParseContentType(AContentType).MediaType;
  for (char16_t& c : type) c = LowerCaseAscii(c);
  return type;
}

std::optional<std::uint64_t> ParseContentLength(std::string_view AValue) {
  return ParseUnsigned(TrimBytes(AValue), 10);
}

std::optional<std::uint64_t> ParseChunkSize(std::string_view ALine) {
  return ParseUnsigned(TrimBytes(ALine.substr(0, ALine.find(';'))), 16);
}
