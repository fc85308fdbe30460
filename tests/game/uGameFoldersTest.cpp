#include "game/uGameFolders.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/uFiles.h"
#include "base/uText.h"
#include "tests/support/TempDir.h"

namespace {

using Paths = std::vector<std::string>;

const char kLibraryFolders[] = R"(// written by Steam
"libraryfolders"
{
	"0"
	{
		"path"		"/home/pilot/.local/share/Steam"
		"label"		""
		"apps"
		{
			"228980"		"574268475"
			"359320"		"81624637934"
		}
	}
	"1"
	{
		"path"		"/mnt/games/Steam Library"
		"contentid"		"4411243087654"
	}
}
)";

TEST(VdfLibraryPaths, ReadsTheListedFolders) {
  struct Case {
    const char* name;
    std::string text;
    Paths paths;
  } cases[] = {
      {"nested entries", kLibraryFolders, {"/home/pilot/.local/share/Steam", "/mnt/games/Steam Library"}},
      {"escapes", R"("libraryfolders" { "0" { "path" "D:\\Steam \"x\"\\" } })", {R"(D:\Steam "x"\)"}},
      {"comments and conditions",
       "\"libraryfolders\" // \"0\" { \"path\" \"/no\" }\n{ \"0\" { \"path\" \"/yes\" [$LINUX] } }",
       {"/yes"}},
      {"bare tokens, any letter case", "LibraryFolders { 0 { PATH /bare } }", {"/bare"}},
      {"the older numbered form", R"("LibraryFolders" { "TimeNextStatsReport" "1" "1" "/old" })", {"/old"}},
      {"paths elsewhere are not libraries", R"("other" { "0" { "path" "/no" } } "path" "/no")", {}},
      {"an empty path is skipped", R"("libraryfolders" { "0" { "path" "" } })", {}},
      {"unterminated quote keeps what came before",
       R"("libraryfolders" { "0" { "path" "/a" } "1" { "path" "/b)", {"/a"}},
      {"a stray closing brace ends the reading", R"("libraryfolders" { "0" { "path" "/a" } } } "x" { "path" "/b" })",
       {"/a"}},
      {"a block without a key ends the reading", R"("libraryfolders" { { "0" { "path" "/a" } } })", {}},
      {"a key without a value", R"("libraryfolders" { "0" { "path" )", {}},
      {"garbage", std::string("\0\xff{}}\"\\", 8), {}},
      {"empty", "", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(VdfLibraryPaths(c.text), c.paths) << c.name;
}

TEST(ParseVdf, KeepsTheKeysThatLeadToEachValue) {
  const std::vector<TVdfValue> expected = {{{"a", "b"}, "1"}, {{"a", "c", "d"}, "2"}, {{"e"}, "3"}};
  EXPECT_EQ(ParseVdf(R"("a" { "b" "1" "c" { "d" "2" } } "e" "3")"), expected);
}

TEST(ParseVdf, HostileInputNeverBreaksIt) {
  // Every cut of a good file reads as a prefix of the whole file's values.
  const std::string text = kLibraryFolders;
  const Paths all = VdfLibraryPaths(text);
  for (std::size_t n = 0; n <= text.size(); ++n) {
    const Paths part = VdfLibraryPaths(text.substr(0, n));
    ASSERT_LE(part.size(), all.size());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin())) << n;
  }
  // Nesting far deeper than any file of Steam's stops the reading, cheaply.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "\"k\" {";
  deep += "\"path\" \"/deep\"";
  EXPECT_TRUE(ParseVdf(deep).empty());
}

// A path in this platform's separators, ending with one.
std::u16string Folder(std::u16string APath) {
  std::replace(APath.begin(), APath.end(), u'/', PathDelimiter());
  return APath;
}

TEST(GameFolders, CandidatesComeFromTheKnownFoldersAndEverySteamLibrary) {
  TempDir home;
  const std::u16string h = home.Base();
  const std::string steamapps = Utf16ToUtf8(Folder(h + u".local/share/Steam/steamapps/"));
  std::filesystem::create_directories(std::filesystem::path(Utf8ToUtf16(steamapps)));
  // The library list names the root itself again, its backslashes escaped as Steam writes
  // them, and another drive twice.
  std::string escaped;
  for (const char c : Utf16ToUtf8(h)) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  const std::string vdf = "\"libraryfolders\" { \"0\" { \"path\" \"" + escaped +
                          ".local/share/Steam/\" } \"1\" { \"path\" \"/mnt/games\" } \"2\" { \"path\" "
                          "\"/mnt/games//\" } }";
  ReplaceFileBytes(Utf8ToUtf16(steamapps) + u"libraryfolders.vdf", vdf);

  const TGameFolderRoots roots{h, u"S:/Saved Games", u"L:/AppData/Local/"};
  const std::u16string proton = u"steamapps/compatdata/359320/pfx/drive_c/users/steamuser/";
  const std::u16string libraries[] = {h + u".steam/steam/", h + u".local/share/Steam/",
                                      h + u".var/app/com.valvesoftware.Steam/.local/share/Steam/", u"/mnt/games/"};
  std::vector<std::u16string> status = {Folder(u"S:/Saved Games/Frontier Developments/Elite Dangerous/")};
  std::vector<std::u16string> bindings = {
      Folder(u"L:/AppData/Local/Frontier Developments/Elite Dangerous/Options/Bindings/")};
  for (const std::u16string& library : libraries) {
    status.push_back(Folder(library + proton + u"Saved Games/Frontier Developments/Elite Dangerous/"));
    bindings.push_back(
        Folder(library + proton + u"AppData/Local/Frontier Developments/Elite Dangerous/Options/Bindings/"));
  }
  EXPECT_EQ(StatusFolderCandidates(roots), status);
  EXPECT_EQ(BindingsFolderCandidates(roots), bindings);

  // Without Steam's home only the known folders are left, and without them nothing.
  EXPECT_EQ(StatusFolderCandidates({u"", u"S:/Saved Games", u""}), std::vector<std::u16string>{status[0]});
  EXPECT_TRUE(BindingsFolderCandidates(TGameFolderRoots{}).empty());
  // This machine names its roots.
  EXPECT_FALSE(StatusFolderCandidates().empty());
  EXPECT_FALSE(BindingsFolderCandidates().empty());
}

}  // namespace
