// Fuzz target: the field lists of a request (QueryFields and ContentFields of TWebRequest),
// that is the split of form text into pieces and the decoding of each piece.
//
// The input bytes are read as text three ways: one character per byte (as the body is),
// as lenient UTF-8 (characters beyond Latin-1, surrogate pairs) and as UTF-16LE (unpaired
// surrogates too).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/uText.h"
#include "web/uWebRequest.h"

namespace {

void Fail(const char* AWhat, std::u16string_view AText) {
  const std::string shown = Utf16ToUtf8(AText.substr(0, 500));
  std::fprintf(stderr, "field list check failed: %s\ntext: %s\n", AWhat, shown.c_str());
  std::abort();
}

bool HasUnpairedSurrogate(std::u16string_view AText) {
  for (std::size_t i = 0; i < AText.size(); ++i) {
    const char16_t c = AText[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= AText.size() || AText[i + 1] < 0xDC00 || AText[i + 1] > 0xDFFF) return true;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

// Every UTF-8 byte of the text as "%XX": the form a browser would send for it.
std::u16string PercentEncoded(std::u16string_view AText) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string out;
  for (unsigned char b : Utf16ToUtf8(AText)) {
    out += u'%';
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

// Plain "&"-separated text: without quotes, line breaks and NUL, the pieces are exactly the
// stretches between the "&"s, the empty one after a final "&" left out.
std::vector<std::u16string> SplitAtAmpersands(std::u16string_view AText) {
  std::vector<std::u16string> pieces;
  std::size_t start = 0;
  while (start < AText.size()) {
    std::size_t end = AText.find(u'&', start);
    if (end == std::u16string_view::npos) end = AText.size();
    pieces.emplace_back(AText.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

std::optional<std::vector<std::u16string>> TryParse(std::u16string_view AText) {
  try {
    return ParseFieldList(AText).Entries();
  } catch (const EURLDecodeError&) {
    return std::nullopt;
  }
}

void CheckText(std::u16string_view AText) {
  const std::vector<std::u16string> pieces = SplitFieldPieces(AText);
  if (AText.find_first_of(u"\"\r\n", 0) == std::u16string_view::npos && AText.find(u'\0') == std::u16string_view::npos &&
      pieces != SplitAtAmpersands(AText))
    Fail("plain text not split at its ampersands", AText);

  const std::optional<std::vector<std::u16string>> entries = TryParse(AText);
  if (!entries) return;
  if (entries->size() != pieces.size()) Fail("entry count differs from the piece count", AText);
  for (const std::u16string& entry : *entries) {
    if (HasUnpairedSurrogate(entry)) Fail("a decoded field holds an unpaired surrogate", entry);
    // Decoded text encodes back to what decodes to it again.
    if (DecodeFieldPiece(PercentEncoded(entry)) != entry) Fail("decoding its percent form differs", entry);
  }

  // Lookups: a name's value is what the first entry of that name holds.
  const TWebFieldList list(*entries);
  for (const std::u16string& entry : *entries) {
    const std::size_t eq = entry.find(u'=');
    if (eq == std::u16string::npos) continue;
    const std::u16string name = entry.substr(0, eq);
    const std::u16string value = list.Values(name);
    bool found = false;
    for (const std::u16string& e : *entries) {
      const std::size_t q = e.find(u'=');
      if (q != std::u16string::npos && SameText(std::u16string_view(e).substr(0, q), name)) {
        found = e.substr(q + 1) == value;
        break;
      }
    }
    if (!found) Fail("Values does not give the first entry's value", entry);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  const std::string_view bytes(reinterpret_cast<const char*>(AData), ASize);

  // As the request holds it: the query as text, the body as bytes.
  const std::u16string latin1 = Latin1ToUtf16(bytes);
  TWebRequest request(u"POST", u"/", latin1, u"application/x-www-form-urlencoded", std::string(bytes));
  auto read = [&request](bool AQuery) -> std::optional<std::vector<std::u16string>> {
    try {
      return (AQuery ? request.QueryFields() : request.ContentFields()).Entries();
    } catch (const EURLDecodeError&) {
      return std::nullopt;
    }
  };
  const auto query = read(true);
  // A list once built is kept; a failed one fails again.
  if (read(true) != query) Fail("QueryFields read twice differs", latin1);
  const auto content = read(false);
  // The body's bytes read one character each are the query's text, so both lists agree.
  if (!bytes.empty() && query != content) Fail("QueryFields and ContentFields of the same text differ", latin1);
  if (bytes.empty() && (!content || !content->empty())) Fail("ContentFields of an empty body is not empty", latin1);

  CheckText(latin1);
  CheckText(Utf8ToUtf16(bytes));
  CheckText(Utf16LEToUtf16(bytes));
  return 0;
}
