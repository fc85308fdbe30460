#include "web/uWebRequest.h"

#include <gtest/gtest.h>

#include "base/uText.h"

namespace {

using Entries = std::vector<std::u16string>;

template <typename F>
void ExpectDecodeError(F&& read, const std::u16string& message) {
  try {
    read();
    ADD_FAILURE() << "no error";
  } catch (const EURLDecodeError& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

TEST(TWebRequestMethodType, ComparesTheWordExactly) {
  const struct {
    const char16_t* word;
    TMethodType type;
  } cases[] = {
      {u"GET", mtGet},    {u"PUT", mtPut},       {u"POST", mtPost},   {u"HEAD", mtHead},
      {u"DELETE", mtDelete}, {u"PATCH", mtPatch}, {u"get", mtAny},     {u"Post", mtAny},
      {u"OPTIONS", mtAny}, {u"GETX", mtAny},      {u"", mtAny},        {u" GET", mtAny},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.word));
    EXPECT_EQ(TWebRequest(c.word, u"/", u"", u"", "").MethodType(), c.type);
  }
}

TEST(TWebFieldSplit, SplitsAtAmpersandsLineBreaksAndQuotes) {
  const struct {
    std::u16string text;
    Entries pieces;
  } cases[] = {
      {u"", {}},
      {u"a=1", {u"a=1"}},
      {u"a=1&&b=2", {u"a=1", u"", u"b=2"}},
      {u"&a", {u"", u"a"}},
      {u"&", {u""}},
      {u"a&", {u"a"}},
      {u"a&&", {u"a", u""}},
      {u"a\r\nb", {u"a", u"b"}},
      {u"\r\n\r\na=1\n", {u"a=1"}},
      {u"a\n&b", {u"a", u"", u"b"}},
      // A quote inside a piece keeps both quotes; the character after the closing one is
      // passed over.
      {u"a=\"x&y\"&b", {u"a=\"x&y\"", u"b"}},
      {u"a=\"x&y\"zb=1", {u"a=\"x&y\"", u"b=1"}},
      {u"a=\"x\r\ny\"", {u"a=\"x\r\ny\""}},
      {u"a=\"bc", {u"a=\"bc"}},
      // A piece that opens with a quote is the quoted text alone and ends at the closing quote.
      {u"\"a&b\"", {u"a&b"}},
      {u"\"a&b\"&c", {u"a&b", u"", u"c"}},
      {u"\"abc", {u"abc"}},
      {u"\"\"", {u""}},
      {u"\"", {}},
      {std::u16string(u"a\0b", 3), {u"a"}},
      {std::u16string(u"\0a", 2), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.text));
    EXPECT_EQ(SplitFieldPieces(c.text), c.pieces);
  }
}

TEST(TWebFieldDecode, DecodesPlusPercentAndUtf8) {
  const struct {
    std::u16string piece;
    std::u16string decoded;
  } cases[] = {
      {u"str=%41%42+c", u"str=AB c"},
      {u"100%%", u"100%"},
      {u"%%41", u"%41"},
      {u"str%3Dx", u"str=x"},
      {u"a%26b", u"a&b"},
      {u"%c3%A9", u"\u00e9"},
      {u"%E2%82%AC", u"\u20ac"},
      {u"\u00e9", u"\u00e9"},
      {u"x\U0001F600y", u"x\U0001F600y"},
      {u"%ff", u"\ufffd"},
      {u"%C3", u"\ufffd"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.piece));
    EXPECT_EQ(DecodeFieldPiece(c.piece), c.decoded);
  }
}

TEST(TWebFieldDecode, BadEscapesNameThePositionAfterThePercent) {
  const struct {
    const char16_t* piece;
    const char16_t* message;
  } cases[] = {
      {u"str=%4", u"Error decoding URL style (%XX) encoded string at position 5"},
      {u"%", u"Error decoding URL style (%XX) encoded string at position 1"},
      {u"a%%%4", u"Error decoding URL style (%XX) encoded string at position 4"},
      {u"str=%zz", u"Invalid URL encoded character (%zz) at position 5"},
      {u"%4g", u"Invalid URL encoded character (%4g) at position 1"},
      {u"%+1", u"Invalid URL encoded character (%+1) at position 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.piece));
    ExpectDecodeError([&] { DecodeFieldPiece(c.piece); }, c.message);
  }
}

TEST(TWebRequestFields, LooksUpStrAsTheRoutesDo) {
  const struct {
    const char16_t* query;
    const char16_t* str;
  } cases[] = {
      {u"str=%41%42+c", u"AB c"},
      {u"STR=z", u"z"},
      {u"sTr=z", u"z"},
      {u"str=1&str=2", u"1"},
      {u"a&str=5", u"5"},
      {u"str&str=5", u"5"},
      {u"str%3Dx", u"x"},
      {u"str=a%26b", u"a&b"},
      {u"str=a=b", u"a=b"},
      {u"a=1&&str=2", u"2"},
      {u"str=", u""},
      {u"strx=1", u""},
      {u"", u""},
      {u"str=\"a&b\"", u"\"a&b\""},
      {u"\"str=a&b\"", u"a&b"},
      {u"x=\"1\"&str=2", u"2"},
      {u"str=a\r\n&str=b", u"a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.query));
    TWebRequest request(u"GET", u"/KeyboardKey", c.query, u"", "");
    EXPECT_EQ(request.QueryFields().Values(u"str"), c.str);
  }
}

TEST(TWebRequestFields, KeepsEveryEntryInOrder) {
  TWebRequest request(u"GET", u"/", u"a=1&&b&c=%41", u"", "");
  EXPECT_EQ(request.QueryFields().Entries(), (Entries{u"a=1", u"", u"b", u"c=A"}));
  EXPECT_EQ(&request.QueryFields(), &request.QueryFields());
}

TEST(TWebRequestFields, DecodingErrorsSurfaceOnlyWhenTheListIsRead) {
  TWebRequest request(u"GET", u"/KeyboardKey", u"str=%4", u"", "str=%zz");
  for (int attempt = 0; attempt < 2; ++attempt)
    ExpectDecodeError([&] { request.QueryFields(); },
                      u"Error decoding URL style (%XX) encoded string at position 5");
  ExpectDecodeError([&] { request.ContentFields(); }, u"Invalid URL encoded character (%zz) at position 5");
}

TEST(TWebRequestFields, ContentFieldsComeFromTheBodyReadOneBytePerCharacter) {
  TWebRequest request(u"POST", u"/KeyboardKey", u"str=query", u"application/x-www-form-urlencoded",
                      "a=1&str=\xE9%C3%A9");
  EXPECT_EQ(request.ContentLength(), 15);
  EXPECT_EQ(request.ContentFields().Values(u"str"), u"\u00e9\u00e9");
  EXPECT_EQ(request.QueryFields().Values(u"str"), u"query");
}

TEST(TWebRequestFields, ContentFieldsAreEmptyWithoutABody) {
  TWebRequest request(u"POST", u"/KeyboardKey", u"str=a", u"", "");
  EXPECT_EQ(request.ContentLength(), 0);
  EXPECT_EQ(request.ContentFields().Count(), 0);
  EXPECT_EQ(request.ContentFields().Values(u"str"), u"");
}

TEST(TWebRequestHeaders, LookUpByNameWithoutRegardToCase) {
  TWebRequest request(u"GET", u"/", u"", u"", "",
                      {{"Host", "example"}, {"X-Test", "first"}, {"x-test", "second"}, {"Empty", ""}});
  EXPECT_EQ(request.GetFieldByName("host"), "example");
  EXPECT_EQ(request.GetFieldByName("X-TEST"), "first");
  EXPECT_EQ(request.GetFieldByName("Empty"), "");
  EXPECT_EQ(request.GetFieldByName("Missing"), "");
}

TEST(TWebResponse, StartsAsAnEmpty200) {
  TWebResponse response;
  EXPECT_EQ(response.StatusCode(), 200);
  EXPECT_EQ(response.ContentType(), u"");
  EXPECT_EQ(response.Content(), u"");
  EXPECT_EQ(response.ContentStream(), nullptr);
  EXPECT_EQ(response.Body(), TResponseBody::None);
  EXPECT_FALSE(response.Sent());
}

TEST(TWebResponse, SendResponseWritesOnce) {
  int writes = 0;
  bool sentDuringWrite = false;
  TWebResponse response([&](TWebResponse& r) {
    ++writes;
    sentDuringWrite = r.Sent();
  });
  response.SendResponse();
  response.SendResponse();
  EXPECT_EQ(writes, 1);
  EXPECT_TRUE(sentDuringWrite);
  EXPECT_TRUE(response.Sent());
}

TEST(TWebResponse, TextWinsOverAStream) {
  TWebResponse response;
  response.SetContentStream(std::make_unique<TMemoryStream>("first"));
  EXPECT_EQ(response.Body(), TResponseBody::Stream);
  response.SetContentStream(std::make_unique<TMemoryStream>("second"));
  EXPECT_EQ(response.ContentStream()->Bytes(), "second");
  response.SetContent(u"text");
  EXPECT_EQ(response.Body(), TResponseBody::Text);
  response.SetContent(u"");
  EXPECT_EQ(response.Body(), TResponseBody::Stream);
}

}  // namespace
