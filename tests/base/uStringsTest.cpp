#include "base/uStrings.h"

#include <gtest/gtest.h>

#include "base/uErrors.h"
#include "base/uFiles.h"
#include "base/uText.h"
#include "tests/support/TempDir.h"

namespace {

using Lines = std::vector<std::u16string>;

struct SplitCase {
  const char16_t* text;
  Lines lines;
};

TEST(TStrings, SplitsAtEveryKindOfBreak) {
  const SplitCase cases[] = {
      {u"", {}},
      {u"a", {u"a"}},
      {u"a\r\n", {u"a"}},
      {u"a\nb\n", {u"a", u"b"}},
      {u"a\rb\r", {u"a", u"b"}},
      {u"a\r\nb", {u"a", u"b"}},
      {u"a\n\rb", {u"a", u"", u"b"}},
      {u"\r\n", {u""}},
      {u"\n\n", {u"", u""}},
      {u"a\r\n\r\nb", {u"a", u"", u"b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.text));
    EXPECT_EQ(SplitLines(c.text), c.lines);
  }
}

TEST(TStrings, NulEndsTheText) {
  std::u16string text = u"ab";
  text += u'\0';
  text += u"cd\r\nef";
  EXPECT_EQ(SplitLines(text), Lines{u"ab"});
}

TEST(TStrings, JoinsEveryLineWithCrLf) {
  TStrings list;
  EXPECT_EQ(list.Text(), u"");
  list.Add(u"a");
  list.Add(u"");
  EXPECT_EQ(list.Text(), u"a\r\n\r\n");
}

TEST(TStrings, IndexOutsideTheListIsAnError) {
  TStrings list;
  list.Add(u"x");
  EXPECT_THROW(list.Strings(1), EListError);
  EXPECT_THROW(list.SetStrings(-1, u"y"), EListError);
  list.SetStrings(0, u"y");
  EXPECT_EQ(list.Strings(0), u"y");
}

struct EncodingCase {
  const char* name;
  std::string bytes;
  TTextEncoding encoding;
  Lines lines;
  std::string written;
};

TEST(TStrings, ReadsByByteOrderMarkAndWritesBackTheSame) {
  const EncodingCase cases[] = {
      {"utf-8 mark", "\xEF\xBB\xBF" "a\xC3\xA9\nb", TTextEncoding::Utf8, {u"a\u00E9", u"b"},
       "\xEF\xBB\xBF" "a\xC3\xA9\r\nb\r\n"},
      {"utf-16 le mark", std::string("\xFF\xFE" "a\0\r\0\n\0b\0", 10), TTextEncoding::Utf16LE, {u"a", u"b"},
       std::string("\xFF\xFE" "a\0\r\0\n\0b\0\r\0\n\0", 14)},
      {"utf-16 be mark", std::string("\xFE\xFF\0a\0\n\x20\xAC", 8), TTextEncoding::Utf16BE, {u"a", u"\u20AC"},
       std::string("\xFE\xFF\0a\0\r\0\n\x20\xAC\0\r\0\n", 14)},
      {"no mark: ANSI", "caf\xE9\x80", TTextEncoding::Ansi, {u"caf\u00E9\u20AC"}, "caf\xE9\x80\r\n"},
      {"utf-8 without mark reads as ANSI", "\xC3\xA9", TTextEncoding::Ansi, {u"\u00C3\u00A9"}, "\xC3\xA9\r\n"},
      {"empty file", "", TTextEncoding::Ansi, {}, ""},
      {"only a mark", "\xEF\xBB\xBF", TTextEncoding::Utf8, {}, "\xEF\xBB\xBF"},
      {"utf-16 without mark stops at the first NUL", std::string("a\0b\0", 4), TTextEncoding::Ansi, {u"a"},
       "a\r\n"},
      {"last line without a break", "x\ny", TTextEncoding::Ansi, {u"x", u"y"}, "x\r\ny\r\n"},
      {"CR only", "x\ry\r", TTextEncoding::Ansi, {u"x", u"y"}, "x\r\ny\r\n"},
      {"LF CR is two breaks", "x\n\ry", TTextEncoding::Ansi, {u"x", u"", u"y"}, "x\r\n\r\ny\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TStrings list;
    list.LoadFromBytes(c.bytes);
    EXPECT_EQ(list.Encoding(), c.encoding);
    EXPECT_EQ(list.Lines(), c.lines);
    EXPECT_EQ(list.SaveToBytes(), c.written);
  }
}

TEST(TStrings, InvalidUtf8AfterTheMarkKeepsThePreviousLines) {
  TStrings list;
  list.LoadFromBytes("old\n");
  for (const std::string bad : {"\xEF\xBB\xBF" "a\xC3", "\xEF\xBB\xBF\xFF", "\xEF\xBB\xBF\xED\xA0\x80",
                                "\xEF\xBB\xBF\xC0\xAF"}) {
    try {
      list.LoadFromBytes(bad);
      ADD_FAILURE() << "no error";
    } catch (const EEncodingError& e) {
      EXPECT_EQ(e.Message(), u"No mapping for the Unicode character exists in the target multi-byte code page");
    }
    EXPECT_EQ(list.Lines(), Lines{u"old"});
    EXPECT_EQ(list.Encoding(), TTextEncoding::Ansi);
  }
}

TEST(TStrings, NeverLoadedListWritesAnsiAndSubstitutes) {
  TStrings list;
  list.Add(u"\u00E9\u4E2D\U0001F600");
  EXPECT_EQ(list.SaveToBytes(), "\xE9???\r\n");
}

TEST(TStrings, LoadFromFileReadsAndReportsAMissingFile) {
  TempDir dir;
  dir.Write("t.txt", "\xEF\xBB\xBFhello\n");
  TStrings list;
  list.LoadFromFile(dir.File("t.txt"));
  EXPECT_EQ(list.Lines(), Lines{u"hello"});
  try {
    list.LoadFromFile(dir.File("missing.txt"));
    FAIL() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message().rfind(u"Cannot open file \"" + dir.File("missing.txt") + u"\". ", 0), 0u);
  }
  EXPECT_EQ(list.Lines(), Lines{u"hello"});
}

TEST(Files, ExistenceFollowsLinksAndRejectsDirectories) {
  TempDir dir;
  dir.Write("f", "x");
  EXPECT_TRUE(FileExists(dir.File("f")));
  EXPECT_FALSE(FileExists(dir.File("nothing")));
  EXPECT_FALSE(FileExists(dir.Base()));
  std::error_code ec;
  std::filesystem::create_symlink(dir.Path() / "f", dir.Path() / "link", ec);
  // Windows lets only some users make links.
  if (ec) GTEST_SKIP() << "no symbolic link can be made here (" << ec.message() << "): the link cases did not run";
  EXPECT_TRUE(FileExists(dir.File("link")));
  std::filesystem::create_symlink(dir.Path() / "gone", dir.Path() / "dangling", ec);
  ASSERT_FALSE(ec) << ec.message();
  EXPECT_FALSE(FileExists(dir.File("dangling")));
}

TEST(Files, ExecutablePathEndsWithTheTestProgram) {
  const std::u16string path = ExecutablePath();
  EXPECT_NE(path.find(u"tapdeck_tests"), std::u16string::npos);
  EXPECT_EQ(ExtractFilePath(path).back(), PathDelimiter());
}

}  // namespace
