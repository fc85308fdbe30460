// Fuzz target: reading a text file into TStrings (LoadFromBytes: the encoding by byte-order
// mark, the ANSI code page otherwise, the split into lines), and what must hold of the
// result: no line holds a line break or NUL, saving and reading again gives the same lines
// and encoding, and the joined text splits into the same lines.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/uErrors.h"
#include "base/uStrings.h"

namespace {

[[noreturn]] void Fail(const char* AWhat) {
  std::fprintf(stderr, "TStrings check failed: %s\n", AWhat);
  std::abort();
}

TTextEncoding EncodingByMark(std::string_view ABytes) {
  if (ABytes.starts_with("\xEF\xBB\xBF")) return TTextEncoding::Utf8;
  if (ABytes.starts_with("\xFF\xFE")) return TTextEncoding::Utf16LE;
  if (ABytes.starts_with("\xFE\xFF")) return TTextEncoding::Utf16BE;
  return TTextEncoding::Ansi;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  const std::string_view bytes(reinterpret_cast<const char*>(AData), ASize);
  TStrings lines;
  lines.Add(u"before");
  try {
    lines.LoadFromBytes(bytes);
  } catch (const EEncodingError&) {
    // Only a UTF-8 mark with bytes after it that are not UTF-8 fails, and keeps the list.
    if (EncodingByMark(bytes) != TTextEncoding::Utf8) Fail("a load failed without a UTF-8 mark");
    if (lines.Count() != 1 || lines.Strings(0) != u"before" || lines.Encoding()) Fail("a failed load changed the list");
    return 0;
  }
  if (lines.Encoding() != EncodingByMark(bytes)) Fail("the encoding is not the one the mark names");
  for (const std::u16string& line : lines.Lines())
    if (line.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string::npos)
      Fail("a line holds CR, LF or NUL");
  if (lines.Lines().size() > bytes.size()) Fail("more lines than bytes");

  const std::u16string text = lines.Text();
  if (SplitLines(text) != lines.Lines()) Fail("the joined text splits into other lines");
  if (!lines.Lines().empty() && !text.ends_with(u"\r\n")) Fail("the joined text does not end with CR LF");

  const std::string saved = lines.SaveToBytes();
  if (EncodingByMark(saved) != *lines.Encoding()) Fail("the saved bytes do not carry the encoding's mark");
  TStrings again;
  again.LoadFromBytes(saved);
  if (again.Lines() != lines.Lines()) Fail("saved and read again, the lines differ");
  if (again.Encoding() != lines.Encoding()) Fail("saved and read again, the encoding differs");
  if (again.SaveToBytes() != saved) Fail("saving twice gives different bytes");

  TStrings withoutMark;
  withoutMark.LoadFromBytes(bytes);
  withoutMark.SetWriteBOM(false);
  const std::string bare = withoutMark.SaveToBytes();
  if (*lines.Encoding() != TTextEncoding::Ansi && saved.size() - bare.size() != (*lines.Encoding() == TTextEncoding::Utf8 ? 3u : 2u))
    Fail("the mark is not all that WriteBOM leaves out");
  return 0;
}
