#include "base/uStrings.h"

#include "base/uErrors.h"
#include "base/uFiles.h"
#include "base/uText.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEBom = "\xFF\xFE";
constexpr std::string_view kUtf16BEBom = "\xFE\xFF";

}  // namespace

const std::u16string& TStrings::Strings(int index) const {
  if (index < 0 || index >= Count())
    throw EListError(u"List index out of bounds (" + IntToStr(index) + u")");
  return FLines[static_cast<std::size_t>(index)];
}

void TStrings::SetStrings(int index, std::u16string value) {
  if (index < 0 || index >= Count())
    throw EListError(u"List index out of bounds (" + IntToStr(index) + u")");
  FLines[static_cast<std::size_t>(index)] = std::move(value);
}

std::u16string TStrings::Text() const {
  std::size_t size = 0;
  for (const auto& line : FLines) size += line.size() + 2;
  std::u16string text;
  text.reserve(size);
  for (const auto& line : FLines) {
    text += line;
    text += u"\r\n";
  }
  return text;
}

void TStrings::SetText(std::u16string_view text) { FLines = SplitLines(text); }

std::vector<std::u16string> SplitLines(std::u16string_view text) {
  const auto nul = text.find(u'\0');
  if (nul != std::u16string_view::npos) text = text.substr(0, nul);
  std::vector<std::u16string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    lines.emplace_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n')
      start = end + 2;
    else
      start = end + 1;
  }
  return lines;
}

void TStrings::LoadFromFile(const std::u16string& fileName) { LoadFromBytes(ReadFileBytes(fileName)); }

void TStrings::LoadFromBytes(std::string_view bytes) {
  TTextEncoding encoding;
  std::u16string text;
  if (bytes.starts_with(kUtf8Bom)) {
    encoding = TTextEncoding::Utf8;
    if (!TryUtf8ToUtf16(bytes.substr(kUtf8Bom.size()), text))
      throw EEncodingError(u"No mapping for the Unicode character exists in the target multi-byte code page");
  } else if (bytes.starts_with(kUtf16LEBom)) {
    encoding = TTextEncoding::Utf16LE;
    text = Utf16LEToUtf16(bytes.substr(kUtf16LEBom.size()));
  } else if (bytes.starts_with(kUtf16BEBom)) {
    encoding = TTextEncoding::Utf16BE;
    text = Utf16BEToUtf16(bytes.substr(kUtf16BEBom.size()));
  } else {
    encoding = TTextEncoding::Ansi;
    text = AnsiToUtf16(bytes);
  }
  FLines = SplitLines(text);
  FEncoding = encoding;
}

std::string TStrings::SaveToBytes() const {
  const std::u16string text = Text();
  switch (FEncoding.value_or(TTextEncoding::Ansi)) {
    case TTextEncoding::Utf8:
      return std::string(FWriteBOM ? kUtf8Bom : "") + Utf16ToUtf8(text);
    case TTextEncoding::Utf16LE:
      return std::string(FWriteBOM ? kUtf16LEBom : "") + Utf16ToUtf16LE(text);
    case TTextEncoding::Utf16BE:
      return std::string(FWriteBOM ? kUtf16BEBom : "") + Utf16ToUtf16BE(text);
    case TTextEncoding::Ansi:
      break;
  }
  return Utf16ToAnsi(text);
}
