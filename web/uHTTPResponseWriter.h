#pragma once
// Writing an HTTP response: the content type and charset rules, the header block in the
// service's fixed order, and the body in the response's charset.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/uClock.h"
#include "web/uByteChannel.h"
#include "web/uWebRequest.h"

// The reason phrase of a status code; empty for a code this service does not know.
std::string_view ReasonPhrase(std::int32_t AStatusCode);
// RFC 1123 form of a GMT time: "Tue, 05 Dec 2017 14:03:09 GMT".
std::string HTTPDate(const TDateTimeParts& AUtc);

// A response content type split into the type and the charset that goes out with it.
struct THTTPContentType {
  std::string Type;     // empty: no Content-Type header
  std::string Charset;  // empty: no charset parameter
};
// The content type of a response: "text/html; charset=ISO-8859-1" when none is set and the
// response has a body; a given charset parameter is kept; other text types get ISO-8859-1,
// XML text types "us-ascii"; non-text types get none.
THTTPContentType ResolveContentType(std::u16string_view AContentType, bool AHasBody);
// Body text in a charset ("?" for what it lacks); ISO-8859-1 unless it names US-ASCII or
// UTF-8.
std::string EncodeBodyText(std::u16string_view AText, std::string_view ACharset);

// The status line and headers: "HTTP/1.1", then "Connection: close", "Content-Type" (when
// there is one), "Content-Length" (unless the body runs until the connection closes) and
// "Date", then the extra headers in their order, each ending with CR LF, and an empty line.
std::string HTTPHeaderBlock(std::int32_t AStatusCode, const THTTPContentType& AContentType,
                            std::optional<std::uint64_t> AContentLength, const TDateTimeParts& AUtc,
                            const THeaderList& AExtraHeaders = {});

// Writes a response: the header block in one write, then the body unless the request is
// HEAD or the status takes none; small bodies go out in the same write. False when the
// connection failed.
bool WriteHTTPResponse(TByteChannel& AChannel, const TWebResponse& AResponse, bool AHeadRequest);
// The status line and headers of a response whose body runs until the connection closes (a
// stream of events): no Content-Length; the extra headers as the response holds them.
bool WriteStreamHeaders(TByteChannel& AChannel, const TWebResponse& AResponse);
// A response of headers only: "Connection: close", "Content-Length: 0" and "Date".
bool WriteHeaderOnlyResponse(TByteChannel& AChannel, std::int32_t AStatusCode);
