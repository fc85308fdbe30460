#include "web/uHTTPConnection.h"

#include <chrono>
#include <string>
#include <string_view>

#include "base/uText.h"
#include "web/uHTTPRequestReader.h"
#include "web/uHTTPResponseWriter.h"

namespace {

bool ContainsNoCase(std::string_view text, std::string_view word) {
  return UpperCaseBytes(text).find(UpperCaseBytes(word)) != std::string::npos;
}

// The first header of that name, without regard to letter case; empty when absent.
std::string_view Header(const THeaderList& headers, std::string_view name) {
  for (const auto& [key, value] : headers)
    if (SameTextBytes(key, name)) return value;
  return {};
}

// After an early answer the client may still be sending its body; closing on unread bytes
// would reset the connection and could destroy the answer before the client reads it. So
// the sending side is closed and what still arrives is read off, for a bounded time.
void DrainAndLinger(TByteChannel& channel) {
  using namespace std::chrono;
  channel.ShutdownSend();
  const auto deadline = steady_clock::now() + seconds(2);
  std::uint64_t total = 0;
  char buffer[4096];
  while (total < 16 * 1024 * 1024) {
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0 || !channel.WaitReadable(static_cast<int>(left))) return;
    const std::ptrdiff_t got = channel.Receive(buffer, sizeof buffer);
    if (got <= 0) return;
    total += static_cast<std::uint64_t>(got);
  }
}

// What became of reading the request.
enum class TReadOutcome { Request, CloseSilently, Answered };

struct TParsedRequest {
  std::u16string Method;
  std::string VersionBytes;
  THTTPTarget Target;
  THeaderList Headers;
  std::string Body;
  bool HasBody = false;
};

// Answers with a header-only response; the connection closes after it.
TReadOutcome Answer(TByteChannel& channel, std::int32_t code) {
  WriteHeaderOnlyResponse(channel, code);
  return TReadOutcome::Answered;
}

TReadOutcome ReadHeaders(THTTPReader& reader, int maxLines, THeaderList& headers) {
  std::string line;
  int count = 0;
  for (;;) {
    if (reader.ReadLine(line) != THTTPReader::TLineResult::Ok) return TReadOutcome::CloseSilently;
    if (line.empty()) return TReadOutcome::Request;
    if (++count > maxLines) return TReadOutcome::CloseSilently;
    if ((line[0] == ' ' || line[0] == '\t') && !headers.empty()) {
      // A folded line continues the value before it.
      std::string& value = headers.back().second;
      value += ' ';
      value += HTTPHeaderBytes(TrimBytes(line));
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string_view view(line);
    headers.emplace_back(HTTPHeaderBytes(TrimBytes(view.substr(0, colon))), HTTPHeaderBytes(TrimBytes(view.substr(colon + 1))));
  }
}

// Trailer lines after the last chunk are read and dropped.
bool SkipTrailers(THTTPReader& reader, int maxLines) {
  std::string line;
  for (int count = 0; count <= maxLines; ++count) {
    if (reader.ReadLine(line) != THTTPReader::TLineResult::Ok) return false;
    if (line.empty()) return true;
  }
  return false;
}

TReadOutcome ReadChunkedBody(TByteChannel& channel, THTTPReader& reader, const THTTPConnectionLimits& limits,
                             std::string& body) {
  std::string line;
  for (;;) {
    if (reader.ReadLine(line) != THTTPReader::TLineResult::Ok) return TReadOutcome::CloseSilently;
    const std::optional<std::uint64_t> size = ParseChunkSize(line);
    if (!size) return TReadOutcome::Request;  // not a number: the body ends here
    if (*size == 0)
      return SkipTrailers(reader, limits.MaxHeaderLines) ? TReadOutcome::Request : TReadOutcome::CloseSilently;
    if (*size > limits.MaxBodySize - body.size()) return Answer(channel, 413);
    if (!reader.ReadBytes(body, static_cast<std::size_t>(*size))) return TReadOutcome::CloseSilently;
    if (reader.ReadLine(line) != THTTPReader::TLineResult::Ok) return TReadOutcome::CloseSilently;
  }
}

TReadOutcome ReadRequest(TByteChannel& channel, THTTPReader& reader, const THTTPConnectionLimits& limits,
                         TParsedRequest& request) {
  std::string line;
  if (reader.ReadLine(line) != THTTPReader::TLineResult::Ok || line.empty()) return TReadOutcome::CloseSilently;
  const std::size_t lastBlank = line.rfind(' ');
  if (lastBlank == std::string::npos) return TReadOutcome::CloseSilently;
  const std::size_t firstBlank = line.find(' ');
  const std::string_view view(line);
  request.Method = UpperCaseAscii(HTTPBytesToText(view.substr(0, firstBlank)));
  const std::u16string target =
      firstBlank < lastBlank ? HTTPBytesToText(view.substr(firstBlank + 1, lastBlank - firstBlank - 1)) : u"";
  request.VersionBytes = line.substr(lastBlank + 1);

  if (const TReadOutcome outcome = ReadHeaders(reader, limits.MaxHeaderLines, request.Headers);
      outcome != TReadOutcome::Request)
    return outcome;
  const THeaderList& headers = request.Headers;

  if (request.Method == u"POST") {
    for (const char* name : {"X-HTTP-Method-Override", "X-HTTP-Method", "X-METHOD-OVERRIDE"}) {
      const std::string_view value = Header(headers, name);
      if (!value.empty()) {
        request.Method = UpperCaseAscii(Utf8ToUtf16(value));
        break;
      }
    }
  }

  request.Target = SplitRequestTarget(target);
  if (Header(headers, "Host").empty() && !request.Target.Host.empty())
    request.Headers.emplace_back("Host", Utf16ToUtf8(request.Target.Host));

  const std::string_view transferEncoding = TrimBytes(Header(headers, "Transfer-Encoding"));
  const bool identity = transferEncoding.empty() || SameTextBytes(transferEncoding, "identity");
  const std::string_view contentLengthText = Header(headers, "Content-Length");
  // A value that is not a number of 0 or more counts as no Content-Length.
  const std::optional<std::uint64_t> parsedLength = ParseContentLength(contentLengthText);
  const bool hasContentLength = parsedLength.has_value();
  const std::uint64_t contentLength = parsedLength.value_or(0);
  const bool tooLarge = identity && contentLength > limits.MaxBodySize;

  if (IsHTTP11OrLater(HTTPBytesToText(request.VersionBytes))) {
    if (Header(headers, "Host").empty()) return Answer(channel, 400);
    const std::string_view expect = Header(headers, "Expect");
    if (!expect.empty() && !reader.BytesWaiting(0)) {
      if (!SameTextBytes(expect, "100-continue")) return Answer(channel, 417);
      // A body that would be refused is refused now, before the client sends it.
      if (tooLarge) return Answer(channel, 413);
      channel.SendAll(request.VersionBytes + " 100 Continue\r\n\r\n");
    }
  }

  if (identity) {
    if (hasContentLength) {
      if (tooLarge) return Answer(channel, 413);
      if (!reader.ReadBytes(request.Body, static_cast<std::size_t>(contentLength))) return TReadOutcome::CloseSilently;
      request.HasBody = true;
    } else if ((request.Method == u"POST" || request.Method == u"PUT") && reader.BytesWaiting(1)) {
      return Answer(channel, 411);
    }
  } else if (ContainsNoCase(transferEncoding, "chunked")) {
    request.HasBody = true;
    if (const TReadOutcome outcome = ReadChunkedBody(channel, reader, limits, request.Body);
        outcome != TReadOutcome::Request)
      return outcome;
  } else {
    return Answer(channel, 400);
  }

  const std::string_view authorization = Header(headers, "Authorization");
  if (!authorization.empty() && !SameTextBytes(authorization.substr(0, authorization.find(' ')), "Basic"))
    return TReadOutcome::CloseSilently;
  return TReadOutcome::Request;
}

// The serve itself, as ServeHTTPConnection describes it; it may raise.
void ServeRequest(TByteChannel& AChannel, TWebRequestHandler& AHandler, const THTTPConnectionLimits& ALimits,
                  TConnectionSignal* ASignal) {
  THTTPReader reader(AChannel);
  TParsedRequest parsed;
  switch (ReadRequest(AChannel, reader, ALimits, parsed)) {
    case TReadOutcome::CloseSilently: return;
    case TReadOutcome::Answered: DrainAndLinger(AChannel); return;
    case TReadOutcome::Request: break;
  }

  const std::u16string contentType = Utf8ToUtf16(Header(parsed.Headers, "Content-Type"));
  std::string content;
  if (!parsed.Body.empty()) {
    content = std::move(parsed.Body);
  } else if (!parsed.HasBody || MediaTypeOf(contentType) == u"application/x-www-form-urlencoded") {
    content = Utf16ToLatin1(parsed.Target.Query);
  }
  const bool head = parsed.Method == u"HEAD";
  TWebRequest request(std::move(parsed.Method), std::move(parsed.Target.PathInfo), std::move(parsed.Target.Query),
                      ContentTypeWithoutCharset(contentType), std::move(content), std::move(parsed.Headers));
  request.SetPeerAddressSource([&AChannel] { return AChannel.PeerAddress(); });
  // A failed write means the client is gone; there is nobody left to tell.
  TWebResponse response([&AChannel, head](TWebResponse& AResponse) { WriteHTTPResponse(AChannel, AResponse, head); });
  if (ASignal && !head) {
    TStreamWriter stream;
    stream.Begin = [&AChannel](const TWebResponse& AResponse) { return WriteStreamHeaders(AChannel, AResponse); };
    stream.Write = [&AChannel](std::string_view ABytes) { return AChannel.SendAll(ABytes); };
    // The client sends nothing more on a stream: anything readable is its close (or junk).
    stream.ClientGone = [&AChannel] {
      if (!AChannel.WaitReadable(0)) return false;
      char byte;
      return AChannel.Receive(&byte, 1) <= 0;
    };
    stream.Signal = ASignal;
    response.SetStreamWriter(std::move(stream));
  }
  try {
    AHandler.HandleRequest(request, response);
  } catch (const EWebRequestForbidden&) {
    WriteHeaderOnlyResponse(AChannel, 403);
    if (reader.HasBuffered()) DrainAndLinger(AChannel);
    return;
  } catch (const Exception& e) {
    response.SetStatusCode(500);
    response.SetContent(e.Message());
  } catch (const std::exception& e) {
    response.SetStatusCode(500);
    response.SetContent(Utf8ToUtf16(e.what()));
  } catch (...) {
    // Nothing the system raises, but the handler's code is not this function's to vouch for.
    response.SetStatusCode(500);
    response.SetContent(u"Unknown error");
  }
  if (!response.Sent()) response.SendResponse();
  // Bytes beyond the request (a pipelined second request) would turn the close into a reset.
  if (reader.HasBuffered()) DrainAndLinger(AChannel);
}

}  // namespace

void ServeHTTPConnection(TByteChannel& AChannel, TWebRequestHandler& AHandler, const THTTPConnectionLimits& ALimits,
                         TConnectionSignal* ASignal) noexcept {
  // Reading the request and forming the answer allocate and convert text at every step, and
  // memory can run out at any of them; the channel is not ours to vouch for either. Whatever
  // escapes ends the serve here, on the connection's own thread, and the owner then closes
  // the connection: the client gets what was written so far, or nothing.
  try {
    ServeRequest(AChannel, AHandler, ALimits, ASignal);
  } catch (...) {
  }
}
