#include "web/uHTTPResponseWriter.h"

#include "base/uText.h"
#include "web/uContentType.h"

namespace {

// Bodies up to this size share the header block's write, so the header block never waits
// alone for an acknowledgement (Nagle stays on).
constexpr std::size_t kJoinedWriteLimit = 256 * 1024;

bool StatusTakesBody(std::int32_t code) { return !((code >= 100 && code <= 199) || code == 204 || code == 304); }

std::string AsciiBytes(std::u16string_view text) {
  std::string out(text.size(), '?');
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] < 0x80) out[i] = static_cast<char>(text[i]);
  return out;
}

bool IsXmlSubtype(std::string_view subtype) {
  return subtype == "xml" || subtype == "xml-external-parsed-entity" ||
         (subtype.size() >= 4 && subtype.substr(subtype.size() - 4) == "+xml");
}

void AppendDecimal(std::string& out, std::uint64_t value) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) out += digits[--n];
}

void AppendTwoDigits(std::string& out, int value) {
  out += static_cast<char>('0' + value / 10 % 10);
  out += static_cast<char>('0' + value % 10);
}

}  // namespace

std::string_view ReasonPhrase(std::int32_t AStatusCode) {
  switch (AStatusCode) {
    case 100: return "Continue";
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 410: return "Gone";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 417: return "Expectation Failed";
    case 422: return "Unprocessable Content";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    default: return {};
  }
}

std::string HTTPDate(const TDateTimeParts& AUtc) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string text;
  text.reserve(29);
  text += kDays[AUtc.DayOfWeek % 7];
  text += ", ";
  AppendTwoDigits(text, AUtc.Day);
  text += ' ';
  text += kMonths[(AUtc.Month + 11) % 12];
  text += ' ';
  AppendDecimal(text, static_cast<std::uint64_t>(AUtc.Year));
  text += ' ';
  AppendTwoDigits(text, AUtc.Hour);
  text += ':';
  AppendTwoDigits(text, AUtc.Minute);
  text += ':';
  AppendTwoDigits(text, AUtc.Second);
  text += " GMT";
  return text;
}

THTTPContentType ResolveContentType(std::u16string_view AContentType, bool AHasBody) {
  THTTPContentType result;
  if (AContentType.empty()) {
    if (AHasBody) result = {"text/html", "ISO-8859-1"};
    return result;
  }
  // Every parameter but the charset stays with the type; the charset goes out after it.
  const TContentType parsed = ParseContentType(AContentType);
  result.Type = Utf16ToLatin1(parsed.WithoutCharset);
  result.Charset = Utf16ToLatin1(parsed.Charset);
  if (result.Charset.empty()) {
    const std::string media = Utf16ToLatin1(parsed.MediaType);
    const std::size_t slash = media.find('/');
    if (slash != std::string::npos && SameTextBytes(std::string_view(media).substr(0, slash), "text")) {
      std::string subtype = media.substr(slash + 1);
      for (char& c : subtype)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      result.Charset = IsXmlSubtype(subtype) ? "us-ascii" : "ISO-8859-1";
    }
  }
  return result;
}

std::string EncodeBodyText(std::u16string_view AText, std::string_view ACharset) {
  if (SameTextBytes(ACharset, "us-ascii") || SameTextBytes(ACharset, "ascii")) return AsciiBytes(AText);
  if (SameTextBytes(ACharset, "utf-8") || SameTextBytes(ACharset, "utf8")) return Utf16ToUtf8(AText);
  return Utf16ToLatin1(AText);
}

std::string HTTPHeaderBlock(std::int32_t AStatusCode, const THTTPContentType& AContentType,
                            std::optional<std::uint64_t> AContentLength, const TDateTimeParts& AUtc,
                            const THeaderList& AExtraHeaders) {
  std::string block;
  block.reserve(160);
  block += "HTTP/1.1 ";
  AppendDecimal(block, static_cast<std::uint64_t>(static_cast<std::uint32_t>(AStatusCode)));
  block += ' ';
  block += ReasonPhrase(AStatusCode);
  block += "\r\nConnection: close\r\n";
  if (!AContentType.Type.empty()) {
    block += "Content-Type: ";
    block += AContentType.Type;
    if (!AContentType.Charset.empty()) {
      block += "; charset=";
      block += AContentType.Charset;
    }
    block += "\r\n";
  }
  if (AContentLength) {
    block += "Content-Length: ";
    AppendDecimal(block, *AContentLength);
    block += "\r\n";
  }
  block += "Date: ";
  block += HTTPDate(AUtc);
  block += "\r\n";
  for (const auto& [name, value] : AExtraHeaders) {
    block += name;
    block += ": ";
    block += value;
    block += "\r\n";
  }
  block += "\r\n";
  return block;
}

bool WriteHTTPResponse(TByteChannel& AChannel, const TWebResponse& AResponse, bool AHeadRequest) {
  const TResponseBody kind = AResponse.Body();
  const THTTPContentType contentType = ResolveContentType(AResponse.ContentType(), kind != TResponseBody::None);
  std::string text;
  std::string_view body;
  if (kind == TResponseBody::Text) {
    text = EncodeBodyText(AResponse.Content(), contentType.Charset);
    body = text;
  } else if (kind == TResponseBody::Stream) {
    body = AResponse.ContentStream()->Bytes();
  }
  std::string block =
      HTTPHeaderBlock(AResponse.StatusCode(), contentType, body.size(), UtcTimeNow(), AResponse.ExtraHeaders());
  if (AHeadRequest || !StatusTakesBody(AResponse.StatusCode())) body = {};
  if (body.size() <= kJoinedWriteLimit) {
    block += body;
    return AChannel.SendAll(block);
  }
  return AChannel.SendAll(block) && AChannel.SendAll(body);
}

bool WriteStreamHeaders(TByteChannel& AChannel, const TWebResponse& AResponse) {
  return AChannel.SendAll(HTTPHeaderBlock(AResponse.StatusCode(), ResolveContentType(AResponse.ContentType(), true),
                                          std::nullopt, UtcTimeNow(), AResponse.ExtraHeaders()));
}

bool WriteHeaderOnlyResponse(TByteChannel& AChannel, std::int32_t AStatusCode) {
  return AChannel.SendAll(HTTPHeaderBlock(AStatusCode, {}, 0, UtcTimeNow()));
}
