#include "web/uHTTPResponseWriter.h"

#include <gtest/gtest.h>

namespace {

TEST(HTTPResponseContentType, CharsetRules) {
  struct TCase {
    const char16_t* ContentType;
    bool HasBody;
    const char* Type;
    const char* Charset;
  } const cases[] = {
      {u"", true, "text/html", "ISO-8859-1"},
      {u"", false, "", ""},
      {u"text/html", true, "text/html", "ISO-8859-1"},
      {u"text/plain; charset=UTF-8", true, "text/plain", "UTF-8"},
      {u"TEXT/XML", true, "TEXT/XML", "us-ascii"},
      {u"text/xml-external-parsed-entity", true, "text/xml-external-parsed-entity", "us-ascii"},
      {u"text/svg+xml", true, "text/svg+xml", "us-ascii"},
      {u"application/json", true, "application/json", ""},
      {u"text/html; level=1", true, "text/html; level=1", "ISO-8859-1"},
  };
  for (const TCase& c : cases) {
    const THTTPContentType type = ResolveContentType(c.ContentType, c.HasBody);
    EXPECT_EQ(type.Type, c.Type);
    EXPECT_EQ(type.Charset, c.Charset);
  }
}

TEST(HTTPResponseText, EncodedInTheCharset) {
  EXPECT_EQ(EncodeBodyText(u"\u00e9\u20ac", "ISO-8859-1"), "\xE9?");
  EXPECT_EQ(EncodeBodyText(u"\u00e9a", "us-ascii"), "?a");
  EXPECT_EQ(EncodeBodyText(u"\u20ac", "utf-8"), "\xE2\x82\xAC");
}

TEST(HTTPResponseHeaders, DateAndBlock) {
  const TDateTimeParts t{2017, 12, 5, 14, 3, 9, 0, 2};
  EXPECT_EQ(HTTPDate(t), "Tue, 05 Dec 2017 14:03:09 GMT");
  EXPECT_EQ(HTTPHeaderBlock(500, {"text/html", "ISO-8859-1"}, 12, t),
            "HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\n"
            "Content-Type: text/html; charset=ISO-8859-1\r\nContent-Length: 12\r\n"
            "Date: Tue, 05 Dec 2017 14:03:09 GMT\r\n\r\n");
  EXPECT_EQ(HTTPHeaderBlock(413, {}, 0, t).substr(0, 44), "HTTP/1.1 413 Payload Too Large\r\nConnection: ");
}

TEST(HTTPResponseHeaders, ReasonPhrases) {
  for (auto [code, reason] : {std::pair<int, const char*>{100, "Continue"}, {200, "OK"}, {400, "Bad Request"},
                              {411, "Length Required"}, {413, "Payload Too Large"}, {417, "Expectation Failed"},
                              {500, "Internal Server Error"}})
    EXPECT_EQ(ReasonPhrase(code), reason);
}

}  // namespace
