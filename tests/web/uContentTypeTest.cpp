#include "web/uContentType.h"

#include <gtest/gtest.h>

#include "base/uText.h"

namespace {

TEST(ContentType, TypeParametersAndCharsetAsBothSidesReadThem) {
  const struct {
    const char16_t* Text;
    const char16_t* MediaType;
    const char16_t* WithoutCharset;
    const char16_t* Charset;
  } cases[] = {
      {u"", u"", u"", u""},
      {u"text/html", u"text/html", u"text/html", u""},
      {u" \tText/HTML \t", u"Text/HTML", u"Text/HTML", u""},
      {u"text/plain; charset=UTF-8", u"text/plain", u"text/plain", u"UTF-8"},
      {u"text/plain;CHARSET=x; a=b", u"text/plain", u"text/plain; a=b", u"x"},
      {u"text/plain ;\tcharset = \"utf-8\" ; level=1", u"text/plain", u"text/plain; level=1", u"utf-8"},
      {u"text/plain; charset=a; charset=b", u"text/plain", u"text/plain", u"b"},
      {u"text/plain; charset", u"text/plain", u"text/plain; charset", u""},
      {u"text/plain;; a=b;", u"text/plain", u"text/plain; a=b", u""},
      // The first part is the type even where it reads like a parameter.
      {u"charset=x; a=b", u"charset=x", u"charset=x; a=b", u""},
      {u"; a=b", u"", u"a=b", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.Text));
    const TContentType parsed = ParseContentType(c.Text);
    EXPECT_EQ(parsed.MediaType, c.MediaType);
    EXPECT_EQ(parsed.WithoutCharset, c.WithoutCharset);
    EXPECT_EQ(parsed.Charset, c.Charset);
  }
}

}  // namespace
