#pragma once
// The one reading of a content type, as a header or a route gives it: the type, then
// parameters after ";". The request side keeps it without its charset (and compares the type
// alone); the response side splits the charset off to send it after the type.

#include <string>
#include <string_view>

struct TContentType {
  // What precedes the first ";", without blanks and tabs at either end, as written
  // ("Text/HTML" stays so).
  std::u16string MediaType;
  // The type and every parameter but "charset", each without blanks and tabs at either end,
  // empty ones left out, joined by "; ".
  std::u16string WithoutCharset;
  // The value of the last "charset" parameter (its name in any letter case, blanks allowed
  // around it), without enclosing double quotes; empty when there is none.
  std::u16string Charset;
};

TContentType ParseContentType(std::u16string_view AText);
