#pragma once
// TStrings: the system's list of text lines, with the rules for reading a text file into
// lines (encoding by byte-order mark, ANSI code page otherwise), joining lines into text and
// writing them back as bytes in the encoding they were read with.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TTextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

class TStrings {
 public:
  int Count() const { return static_cast<int>(FLines.size()); }
  // Raises EListError for an index outside the list.
  const std::u16string& Strings(int index) const;
  void SetStrings(int index, std::u16string value);
  void Add(std::u16string line) { FLines.push_back(std::move(line)); }
  void Clear() { FLines.clear(); }
  const std::vector<std::u16string>& Lines() const { return FLines; }

  // Every line followed by CR LF, the last one included; an empty list gives empty text.
  std::u16string Text() const;
  // Splits at CR, LF or CR LF (LF CR is two breaks); a NUL ends the text.
  void SetText(std::u16string_view text);

  // Reads a whole file; on any failure the list keeps its previous lines and encoding.
  void LoadFromFile(const std::u16string& fileName);
  // The same from bytes already in memory.
  void LoadFromBytes(std::string_view bytes);
  // The joined text in the remembered encoding (ANSI when never loaded), its mark first.
  std::string SaveToBytes() const;

  // The encoding found by the last load; empty until then.
  std::optional<TTextEncoding> Encoding() const { return FEncoding; }
  bool WriteBOM() const { return FWriteBOM; }
  void SetWriteBOM(bool value) { FWriteBOM = value; }

 private:
  std::vector<std::u16string> FLines;
  std::optional<TTextEncoding> FEncoding;
  bool FWriteBOM = true;
};

// Splits text into lines by the rules of TStrings::SetText.
std::vector<std::u16string> SplitLines(std::u16string_view text);
