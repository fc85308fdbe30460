#include "web/uHTTPRequestReader.h"

#include <gtest/gtest.h>

namespace {

TEST(HTTPPathDecoding, Escapes) {
  struct TCase {
    const char16_t* Path;
    const char16_t* Decoded;
  } const cases[] = {
      {u"/KeyboardKey", u"/KeyboardKey"},
      {u"/a%20b", u"/a b"},
      {u"/a+b", u"/a+b"},
      {u"/%C3%A9t%C3%A9", u"/\u00e9t\u00e9"},       // bytes read as UTF-8
      {u"/%u20AC%U00e9", u"/\u20ac\u00e9"},          // UTF-16 code units, either case
      {u"/%D83D%uD83D%uDE00", u"/\xFFFD" u"3D\U0001F600"},  // "%D8" is a lone byte
      {u"/a%zzb", u"/ab"},                           // bad digits dropped with the escape
      {u"/a%u12zzb", u"/ab"},
      {u"/a%4", u"/a"},                              // cut short at the end
      {u"/a%", u"/a"},
      {u"/%ff", u"/\xFFFD"},                         // not UTF-8
      {u"/\xFFFD", u"/\xFFFD"},                      // a raw byte above 0x7F as read
  };
  int row = 0;
  for (const TCase& c : cases) EXPECT_EQ(DecodePathInfo(c.Path), c.Decoded) << "row " << row++;
}

TEST(HTTPTargetSplitting, Forms) {
  struct TCase {
    const char16_t* Target;
    const char16_t* PathInfo;
    const char16_t* Query;
    const char16_t* Host;
  } const cases[] = {
      {u"/", u"/", u"", u""},
      {u"/KeyboardKey?str=a%26b", u"/KeyboardKey", u"str=a%26b", u""},
      {u"/a?b?c", u"/a", u"b?c", u""},
      {u"*", u"*", u"", u""},
      {u"http://host:8080/x%41?q", u"/xA", u"q", u"host:8080"},
      {u"http://user@host", u"/", u"", u"host"},
      {u"/page#frag", u"/page", u"", u""},
      {u"", u"", u"", u""},
  };
  for (const TCase& c : cases) {
    const THTTPTarget target = SplitRequestTarget(c.Target);
    EXPECT_EQ(target.PathInfo, c.PathInfo);
    EXPECT_EQ(target.Query, c.Query);
    EXPECT_EQ(target.Host, c.Host);
  }
}

TEST(HTTPVersion, ElevenOrLater) {
  struct TCase {
    const char16_t* Version;
    bool Later;
  } const cases[] = {{u"HTTP/1.1", true},  {u"HTTP/1.0", false}, {u"HTTP/2.0", true}, {u"HTTP/1.10", true},
                     {u"HTTP/0.9", false}, {u"HTTP/1", false},   {u"junk", false},    {u"HTTP/", false}};
  for (const TCase& c : cases) EXPECT_EQ(IsHTTP11OrLater(c.Version), c.Later);
}

TEST(HTTPHeaderText, BytesAboveAsciiReadAsReplacement) {
  EXPECT_EQ(HTTPBytesToText("a\xC3\xA9"), u"a\xFFFD\xFFFD");
  EXPECT_EQ(HTTPHeaderBytes("a\xE9z"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(HTTPHeaderBytes("plain"), "plain");
}

TEST(HTTPContentType, CharsetParameterIsRemoved) {
  EXPECT_EQ(ContentTypeWithoutCharset(u"text/plain; charset=UTF-8"), u"text/plain");
  EXPECT_EQ(ContentTypeWithoutCharset(u"text/plain;CHARSET=x; a=b"), u"text/plain; a=b");
  EXPECT_EQ(ContentTypeWithoutCharset(u"application/json"), u"application/json");
  EXPECT_EQ(ContentTypeWithoutCharset(u""), u"");
  EXPECT_EQ(MediaTypeOf(u" Application/X-WWW-Form-Urlencoded ; charset=x"), u"application/x-www-form-urlencoded");
}

TEST(HTTPNumbers, ContentLengthAndChunkSize) {
  EXPECT_EQ(ParseContentLength("0"), 0u);
  EXPECT_EQ(ParseContentLength(" 42 "), 42u);
  EXPECT_EQ(ParseContentLength("-1"), std::nullopt);
  EXPECT_EQ(ParseContentLength("1x"), std::nullopt);
  EXPECT_EQ(ParseContentLength(""), std::nullopt);
  EXPECT_EQ(ParseContentLength("99999999999999999999999"), UINT64_MAX);
  EXPECT_EQ(ParseChunkSize("1a"), 26u);
  EXPECT_EQ(ParseChunkSize("A ; ext=1"), 10u);
  EXPECT_EQ(ParseChunkSize(";ext"), std::nullopt);
  EXPECT_EQ(ParseChunkSize("zz"), std::nullopt);
  EXPECT_EQ(ParseChunkSize("FFFFFFFFFFFFFFFFFFFF"), UINT64_MAX);
}

}  // namespace
