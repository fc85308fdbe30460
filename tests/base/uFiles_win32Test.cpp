// What the Windows file layer does beyond the shared tests: the sharing rule of reading, the
// system's error text in the open error, links as reparse points and Windows path forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/uErrors.h"
#include "base/uFiles.h"
#include "base/uStrings.h"
#include "base/uSystem_win32.h"
#include "tests/support/TempDir.h"

namespace {

// A handle the test holds open, closed when it goes.
class Held {
 public:
  Held(const std::u16string& path, DWORD access, DWORD share)
      : FHandle(::CreateFileW(ToWide(path).c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr)) {}
  ~Held() { Close(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  bool Valid() const { return FHandle != INVALID_HANDLE_VALUE; }
  void Close() {
    if (Valid()) ::CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE FHandle;
};

TEST(FilesWindows, AFileHeldOpenForWritingCannotBeRead) {
  TempDir dir;
  dir.Write("script.js", "var a;");
  const std::u16string path = dir.File("script.js");
  // Even a writer that lets others read and write keeps a reader that refuses writers out.
  Held writer(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(writer.Valid());
  try {
    ReadFileBytes(path);
    FAIL() << "read while a writer holds the file";
  } catch (const EFOpenError& e) {
    const std::u16string prefix = u"Cannot open file \"" + path + u"\". ";
    ASSERT_EQ(e.Message().rfind(prefix, 0), 0u) << e.what();
    const std::u16string text = e.Message().substr(prefix.size());
    EXPECT_EQ(text, SystemErrorText(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), u'\n');
    EXPECT_NE(text.back(), u'\r');
  }
  writer.Close();
  EXPECT_EQ(ReadFileBytes(path), "var a;");
}

TEST(FilesWindows, ALockedFileLeavesTheLinesAsTheyWere) {
  TempDir dir;
  dir.Write("styles.css", "old\n");
  TStrings list;
  list.LoadFromFile(dir.File("styles.css"));
  Held writer(dir.File("styles.css"), GENERIC_WRITE, FILE_SHARE_READ);
  ASSERT_TRUE(writer.Valid());
  EXPECT_THROW(list.LoadFromFile(dir.File("styles.css")), EFOpenError);
  EXPECT_EQ(list.Lines(), std::vector<std::u16string>{u"old"});
}

TEST(FilesWindows, OtherReadersMayHoldTheFile) {
  TempDir dir;
  dir.Write("index.html", "<html>");
  Held reader(dir.File("index.html"), GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(reader.Valid());
  EXPECT_EQ(ReadFileBytes(dir.File("index.html")), "<html>");
}

TEST(FilesWindows, AppendingCreatesThenAppends) {
  TempDir dir;
  AppendFileBytes(dir.File("debug.log"), "one\r\n");
  AppendFileBytes(dir.File("debug.log"), "two\r\n");
  EXPECT_EQ(ReadFileBytes(dir.File("debug.log")), "one\r\ntwo\r\n");
  EXPECT_THROW(AppendFileBytes(dir.File("no such folder\\debug.log"), "x"), EInOutError);
}

// A replace that fails leaves the file and its old backup as they were, and no temporary
// file: here another program holds the file and lets no one replace it.
TEST(FilesWindows, AFailedReplaceKeepsTheFileAndItsBackup) {
  TempDir dir;
  dir.Write("panel.json", "old");
  dir.Write("panel.json.bak", "older");
  {
    Held holder(dir.File("panel.json"), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(holder.Valid());
    EXPECT_THROW(ReplaceFileBytes(dir.File("panel.json"), "new", dir.File("panel.json.bak")), EInOutError);
  }
  EXPECT_EQ(ReadFileBytes(dir.File("panel.json")), "old");
  EXPECT_EQ(ReadFileBytes(dir.File("panel.json.bak")), "older");
  EXPECT_EQ(FilesIn(dir.Base(), u""), (std::vector<std::u16string>{u"panel.json", u"panel.json.bak"}));
  // Let go, the file is replaced and its old bytes become the backup.
  ReplaceFileBytes(dir.File("panel.json"), "new", dir.File("panel.json.bak"));
  EXPECT_EQ(ReadFileBytes(dir.File("panel.json")), "new");
  EXPECT_EQ(ReadFileBytes(dir.File("panel.json.bak")), "old");
  EXPECT_EQ(FilesIn(dir.Base(), u""), (std::vector<std::u16string>{u"panel.json", u"panel.json.bak"}));
}

TEST(FilesWindows, LinksCountWhenTheyLeadToAFile) {
  TempDir dir;
  dir.Write("target", "x");
  const auto link = [&](const char* name, const char* target, DWORD flags) {
    return ::CreateSymbolicLinkW(ToWide(dir.File(name)).c_str(), ToWide(dir.File(target)).c_str(),
                                 flags | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != 0;
  };
  // Wine reports success without making a link; developer mode or the privilege is needed on Windows.
  const DWORD attributes = link("to-file", "target", 0) ? ::GetFileAttributesW(ToWide(dir.File("to-file")).c_str())
                                                        : INVALID_FILE_ATTRIBUTES;
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    GTEST_SKIP() << "this system does not let the test create symbolic links (Wine cannot)";
  EXPECT_TRUE(FileExists(dir.File("to-file")));
  ASSERT_TRUE(link("dangling", "gone", 0));
  EXPECT_FALSE(FileExists(dir.File("dangling")));
  ASSERT_TRUE(link("to-folder", ".", SYMBOLIC_LINK_FLAG_DIRECTORY));
  EXPECT_FALSE(FileExists(dir.File("to-folder")));
}

TEST(FilesWindows, FilePathEndsAtTheLastSeparatorOfAnyForm) {
  const struct {
    const char16_t* path;
    const char16_t* folder;
  } cases[] = {
      {u"C:\\Program Files\\Tapdeck\\Tapdeck.exe", u"C:\\Program Files\\Tapdeck\\"},
      {u"C:/tools/Tapdeck.exe", u"C:/tools/"},
      {u"C:Tapdeck.exe", u"C:"},
      {u"\\\\server\\share\\Tapdeck.exe", u"\\\\server\\share\\"},
      {u"Tapdeck.exe", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtractFilePath(c.path), c.folder);
  EXPECT_EQ(PathDelimiter(), u'\\');
}

}  // namespace
