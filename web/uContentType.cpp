#include "web/uContentType.h"

#include "base/uText.h"

namespace {

// HTTP's optional white space: blanks and tabs.
std::u16string_view TrimBlanks(std::u16string_view s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

TContentType ParseContentType(std::u16string_view AText) {
  TContentType result;
  bool first = true;
  for (std::size_t start = 0; start <= AText.size();) {
    std::size_t end = AText.find(u';', start);
    if (end == std::u16string_view::npos) end = AText.size();
    const std::u16string_view part = TrimBlanks(AText.substr(start, end - start));
    start = end + 1;
    const std::size_t eq = part.find(u'=');
    if (first) {
      result.MediaType = part;
      first = false;
    } else if (eq != std::u16string_view::npos && SameText(TrimBlanks(part.substr(0, eq)), u"charset")) {
      std::u16string_view value = TrimBlanks(part.substr(eq + 1));
      if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') value = value.substr(1, value.size() - 2);
      result.Charset = value;
      continue;
    }
    if (part.empty()) continue;
    if (!result.WithoutCharset.empty()) result.WithoutCharset += u"; ";
    result.WithoutCharset += part;
  }
  return result;
}
