#pragma once
// The request and response records as the routes see them. The HTTP service builds both
// from what it read off the connection; the routes read fields and set the body.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/uErrors.h"
#include "base/uStreams.h"

// The method of a request, or the method an action item accepts (mtAny: every method).
enum TMethodType : std::int32_t {
  mtAny = 0,
  mtGet = 1,
  mtPut = 2,
  mtPost = 3,
  mtHead = 4,
  mtDelete = 5,
  mtPatch = 6,
};

// The method word, compared exactly ("get" is not "GET"); any other word gives mtAny.
TMethodType MethodTypeOf(std::u16string_view AMethod);

// A malformed percent escape in a form field.
class EURLDecodeError : public Exception {
  using Exception::Exception;
};

// A list of form fields, each entry a name, "=" and a value, in request order.
class TWebFieldList {
 public:
  TWebFieldList() = default;
  explicit TWebFieldList(std::vector<std::u16string> AEntries) : FEntries(std::move(AEntries)) {}

  int Count() const { return static_cast<int>(FEntries.size()); }
  const std::vector<std::u16string>& Entries() const { return FEntries; }
  // The text after the first "=" of the first entry whose name (the text before its first
  // "=") equals AName without regard to ASCII letter case; empty when none does. Entries
  // without "=" never match.
  std::u16string Values(std::u16string_view AName) const;

 private:
  std::vector<std::u16string> FEntries;
};

// Splits form text into its raw pieces: CR and LF are skipped, "&" separates, a double
// quote opens a stretch that runs to the next double quote, a NUL ends the text.
std::vector<std::u16string> SplitFieldPieces(std::u16string_view AText);
// Decodes one piece: "+" is a blank, "%%" one "%", "%XX" that byte; the bytes are read as
// UTF-8 (invalid sequences become U+FFFD). Raises EURLDecodeError for a bad escape.
std::u16string DecodeFieldPiece(std::u16string_view APiece);
// Both steps: the field list of a query or a form body.
TWebFieldList ParseFieldList(std::u16string_view AText);

// Header lines as they arrived: name and value bytes.
using THeaderList = std::vector<std::pair<std::string, std::string>>;

class TWebRequest {
 public:
  // AMethod is already upper-cased; APathInfo decoded; AQuery raw; AContentType without
  // its charset; AContent the body bytes (or the query's, as the service decides).
  TWebRequest(std::u16string AMethod, std::u16string APathInfo, std::u16string AQuery,
              std::u16string AContentType, std::string AContent, THeaderList AHeaders = {});

  const std::u16string& Method() const { return FMethod; }
  TMethodType MethodType() const { return FMethodType; }
  const std::u16string& PathInfo() const { return FPathInfo; }
  const std::u16string& Query() const { return FQuery; }
  const std::u16string& ContentType() const { return FContentType; }
  const std::string& Content() const { return FContent; }
  std::int32_t ContentLength() const { return FContentLength; }
  const THeaderList& Headers() const { return FHeaders; }

  // The address of the connection's peer as text; empty when unknown. Asked of the
  // connection only when a route wants it, so other requests pay no system call for it.
  const std::string& PeerAddress() const {
    if (!FPeerAddress) FPeerAddress = FPeerSource ? FPeerSource() : std::string();
    return *FPeerAddress;
  }
  void SetPeerAddressSource(std::function<std::string()> ASource) {
    FPeerSource = std::move(ASource);
    FPeerAddress.reset();
  }

  // A header's value by name (ASCII case-insensitive); the first of repeated headers
  // counts; an absent header reads as empty.
  std::string GetFieldByName(std::string_view AName) const;

  // Built on first use and kept. Raise EURLDecodeError when a field is malformed; the
  // list is then not kept, so every later read raises the same error.
  const TWebFieldList& QueryFields();
  // Empty unless ContentLength is above 0; the body is read one byte per character.
  const TWebFieldList& ContentFields();

 private:
  std::u16string FMethod;
  std::u16string FPathInfo;
  std::u16string FQuery;
  std::u16string FContentType;
  std::string FContent;
  std::int32_t FContentLength;
  TMethodType FMethodType;
  THeaderList FHeaders;
  std::function<std::string()> FPeerSource;
  mutable std::optional<std::string> FPeerAddress;
  std::optional<TWebFieldList> FQueryFields;
  std::optional<TWebFieldList> FContentFields;
};

class TWebResponse;
class TConnectionSignal;
// The service's writer: puts the response on the wire. Called by SendResponse, once.
using TResponseWriter = std::function<void(TWebResponse& AResponse)>;

// What the service offers a response that stays open: the header block of a body that runs
// until the connection closes, further body bytes as they come, whether the client has gone,
// and the signal its waits end on. Empty where the service cannot stream.
struct TStreamWriter {
  std::function<bool(const TWebResponse& AResponse)> Begin;
  std::function<bool(std::string_view ABytes)> Write;
  std::function<bool()> ClientGone;
  TConnectionSignal* Signal = nullptr;
};

// Which body a response goes out with.
enum class TResponseBody { None, Text, Stream };

class TWebResponse {
 public:
  explicit TWebResponse(TResponseWriter AWriter = {});
  TWebResponse(const TWebResponse&) = delete;
  TWebResponse& operator=(const TWebResponse&) = delete;

  std::int32_t StatusCode() const { return FStatusCode; }
  void SetStatusCode(std::int32_t AValue) { FStatusCode = AValue; }
  const std::u16string& ContentType() const { return FContentType; }
  void SetContentType(std::u16string AValue) { FContentType = std::move(AValue); }
  const std::u16string& Content() const { return FContent; }
  void SetContent(std::u16string AValue) { FContent = std::move(AValue); }
  // Null when no stream is set. The response owns the stream; setting another one
  // destroys the one it held.
  TMemoryStream* ContentStream() const { return FContentStream.get(); }
  void SetContentStream(std::unique_ptr<TMemoryStream> AStream) { FContentStream = std::move(AStream); }

  // Headers that go out after the standard ones, in this order (name and value bytes).
  const THeaderList& ExtraHeaders() const { return FExtraHeaders; }
  void AddHeader(std::string AName, std::string AValue) { FExtraHeaders.emplace_back(std::move(AName), std::move(AValue)); }

  // The body the writer sends: the text when there is any (text wins over a stream),
  // else the stream, else nothing.
  TResponseBody Body() const;

  bool Sent() const { return FSent; }
  // Marks the response sent and calls the writer; does nothing the second time.
  void SendResponse();

  void SetStreamWriter(TStreamWriter AWriter) { FStream = std::move(AWriter); }
  // Whether this response can stay open: the service offers a writer and a signal.
  bool CanStream() const { return FStream.Begin && FStream.Signal; }
  // Sends the status and headers of a body without a length and marks the response sent;
  // false when it cannot stream or the connection failed.
  bool BeginStream();
  // More of the body; false when the connection failed.
  bool WriteMore(std::string_view ABytes);
  // True once the client has closed its side or the connection failed.
  bool ClientGone();
  // The connection's signal while streaming; null otherwise.
  TConnectionSignal* Signal() const { return FStream.Signal; }

 private:
  TResponseWriter FWriter;
  std::int32_t FStatusCode = 200;
  std::u16string FContentType;
  std::u16string FContent;
  std::unique_ptr<TMemoryStream> FContentStream;
  THeaderList FExtraHeaders;
  TStreamWriter FStream;
  bool FSent = false;
};
