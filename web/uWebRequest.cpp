#include "web/uWebRequest.h"

#include <limits>

#include "base/uText.h"

namespace {

bool EndsPlainRun(char16_t ch) {
  return ch == u'&' || ch == u'\r' || ch == u'\n' || ch == u'"';
}

std::int32_t ClampedLength(std::size_t size) {
  constexpr auto kMax = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
  return static_cast<std::int32_t>(size > kMax ? kMax : size);
}

}  // namespace

TMethodType MethodTypeOf(std::u16string_view AMethod) {
  if (AMethod == u"GET") return mtGet;
  if (AMethod == u"PUT") return mtPut;
  if (AMethod == u"POST") return mtPost;
  if (AMethod == u"HEAD") return mtHead;
  if (AMethod == u"DELETE") return mtDelete;
  if (AMethod == u"PATCH") return mtPatch;
  return mtAny;
}

std::u16string TWebFieldList::Values(std::u16string_view AName) const {
  for (const auto& entry : FEntries) {
    const auto eq = entry.find(u'=');
    if (eq == std::u16string::npos) continue;
    if (SameText(std::u16string_view(entry).substr(0, eq), AName)) return entry.substr(eq + 1);
  }
  return {};
}

std::vector<std::u16string> SplitFieldPieces(std::u16string_view AText) {
  // A NUL ends the text, exactly as the end does.
  const auto nul = AText.find(u'\0');
  if (nul != std::u16string_view::npos) AText = AText.substr(0, nul);
  const std::size_t n = AText.size();

  std::vector<std::u16string> pieces;
  std::size_t pos = 0;
  for (;;) {
    while (pos < n && (AText[pos] == u'\r' || AText[pos] == u'\n')) ++pos;
    std::size_t start = pos;
    std::size_t end = pos;
    while (end < n && !EndsPlainRun(AText[end])) ++end;
    std::size_t pieceEnd = end;  // one past the last character of the piece
    if (end < n && AText[end] == u'"') {
      std::size_t close = end + 1;
      while (close < n && AText[close] != u'"') ++close;
      if (end == start) {
        // The piece is the quoted text alone and ends at the closing quote.
        start = end + 1;
        pieceEnd = close;
        end = close;
      } else {
        // The quotes stay part of the piece, which ends after the closing quote.
        end = close < n ? close + 1 : n;
        pieceEnd = end;
      }
    }
    if (start < n) pieces.emplace_back(AText.substr(start, pieceEnd - start));
    if (end >= n) break;
    pos = end + 1;
  }
  return pieces;
}

std::u16string DecodeFieldPiece(std::u16string_view APiece) {
  const std::size_t n = APiece.size();
  std::string bytes;
  bytes.reserve(n);
  std::size_t i = 0;
  while (i < n) {
    const char16_t ch = APiece[i];
    if (ch == u'+') {
      bytes.push_back(' ');
      ++i;
    } else if (ch == u'%') {
      if (i + 1 < n && APiece[i + 1] == u'%') {
        bytes.push_back('%');
        i += 2;
        continue;
      }
      if (i + 2 >= n)
        throw EURLDecodeError(u"Error decoding URL style (%XX) encoded string at position " + IntToStr(static_cast<std::int64_t>(i + 1)));
      const int hi = HexDigitValue(APiece[i + 1]);
      const int lo = HexDigitValue(APiece[i + 2]);
      if (hi < 0 || lo < 0)
        throw EURLDecodeError(u"Invalid URL encoded character (" + std::u16string(APiece.substr(i, 3)) +
                              u") at position " + IntToStr(static_cast<std::int64_t>(i + 1)));
      bytes.push_back(static_cast<char>(hi * 16 + lo));
      i += 3;
    } else if (ch < 0x80) {
      bytes.push_back(static_cast<char>(ch));
      ++i;
    } else {
      // A run of non-ASCII characters is encoded whole, so surrogate pairs stay together.
      std::size_t runEnd = i;
      while (runEnd < n && APiece[runEnd] >= 0x80) ++runEnd;
      bytes += Utf16ToUtf8(APiece.substr(i, runEnd - i));
      i = runEnd;
    }
  }
  return Utf8ToUtf16(bytes);
}

TWebFieldList ParseFieldList(std::u16string_view AText) {
  std::vector<std::u16string> entries;
  for (const auto& piece : SplitFieldPieces(AText)) entries.push_back(DecodeFieldPiece(piece));
  return TWebFieldList(std::move(entries));
}

TWebRequest::TWebRequest(std::u16string AMethod, std::u16string APathInfo, std::u16string AQuery,
                         std::u16string AContentType, std::string AContent, THeaderList AHeaders)
    : FMethod(std::move(AMethod)),
      FPathInfo(std::move(APathInfo)),
      FQuery(std::move(AQuery)),
      FContentType(std::move(AContentType)),
      FContent(std::move(AContent)),
      FContentLength(ClampedLength(FContent.size())),
      FMethodType(MethodTypeOf(FMethod)),
      FHeaders(std::move(AHeaders)) {}

std::string TWebRequest::GetFieldByName(std::string_view AName) const {
  for (const auto& [name, value] : FHeaders)
    if (SameTextBytes(name, AName)) return value;
  return {};
}

const TWebFieldList& TWebRequest::QueryFields() {
  if (!FQueryFields) FQueryFields = ParseFieldList(FQuery);
  return *FQueryFields;
}

const TWebFieldList& TWebRequest::ContentFields() {
  if (!FContentFields)
    FContentFields = FContentLength > 0 ? ParseFieldList(Latin1ToUtf16(FContent)) : TWebFieldList();
  return *FContentFields;
}

TWebResponse::TWebResponse(TResponseWriter AWriter) : FWriter(std::move(AWriter)) {}

TResponseBody TWebResponse::Body() const {
  if (!FContent.empty()) return TResponseBody::Text;
  if (FContentStream) return TResponseBody::Stream;
  return TResponseBody::None;
}

void TWebResponse::SendResponse() {
  if (FSent) return;
  FSent = true;
  if (FWriter) FWriter(*this);
}

bool TWebResponse::BeginStream() {
  if (!CanStream() || FSent) return false;
  FSent = true;
  return FStream.Begin(*this);
}

bool TWebResponse::WriteMore(std::string_view ABytes) { return FStream.Write && FStream.Write(ABytes); }

bool TWebResponse::ClientGone() { return !FStream.ClientGone || FStream.ClientGone(); }
