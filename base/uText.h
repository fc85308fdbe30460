#pragma once
// The one place where text (UTF-16) meets bytes: UTF-8, UTF-16 LE/BE, ISO-8859-1 and the
// platform's ANSI code page, plus the few text helpers every subsystem shares.

#include <cstdint>
#include <string>
#include <string_view>

// Strict UTF-8 decoding: false (and `out` untouched) on any invalid sequence, overlong
// form, surrogate code point or value above U+10FFFF.
bool TryUtf8ToUtf16(std::string_view bytes, std::u16string& out);
// Lenient UTF-8 decoding: every invalid sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view bytes);
// UTF-8 encoding; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// UTF-16 byte orders; an odd trailing byte is dropped.
std::u16string Utf16LEToUtf16(std::string_view bytes);
std::u16string Utf16BEToUtf16(std::string_view bytes);
std::string Utf16ToUtf16LE(std::u16string_view text);
std::string Utf16ToUtf16BE(std::u16string_view text);

// ISO-8859-1: one byte per character; characters above U+00FF become "?".
std::u16string Latin1ToUtf16(std::string_view bytes);
std::string Utf16ToLatin1(std::u16string_view text);

// The platform's ANSI code page (the system's own on Windows, Windows-1252 elsewhere).
// Decoding never fails; characters the code page cannot represent encode as "?".
std::u16string AnsiToUtf16(std::string_view bytes);
std::string Utf16ToAnsi(std::u16string_view text);
// One character of the ANSI code page, as its byte ("?" when it has none).
char Utf16CharToAnsi(char16_t ch);

// ASCII-only helpers: letters "a" to "z" and "A" to "Z" fold, nothing else changes.
char16_t UpCaseAscii(char16_t ch);
char16_t LowerCaseAscii(char16_t ch);
std::u16string UpperCaseAscii(std::u16string_view text);
bool SameText(std::u16string_view a, std::u16string_view b);
bool SameTextBytes(std::string_view a, std::string_view b);
std::string UpperCaseBytes(std::string_view text);

// The value of a hexadecimal digit (either letter case), or -1 for any other character.
int HexDigitValue(char16_t ch);

// Decimal form of a 32-bit signed integer.
std::u16string IntToStr(std::int64_t value);
// Text of plain ASCII bytes (literals, numbers).
std::u16string AsciiToUtf16(std::string_view ascii);
