#include "game/uGameFolders.h"

#include <algorithm>
#include <filesystem>

#include "base/uErrors.h"
#include "base/uFiles.h"
#include "base/uText.h"

namespace {

constexpr std::size_t kMaxVdfDepth = 32;
// A libraryfolders.vdf holds a few lines per library; anything far larger is not one.
constexpr std::uint64_t kMaxVdfFileSize = 1024 * 1024;

// The game's folder inside its Proton prefix (Steam's application id 359320), below a library.
constexpr std::u16string_view kProtonUser = u"steamapps/compatdata/359320/pfx/drive_c/users/steamuser/";
constexpr std::u16string_view kGameFolder = u"Frontier Developments/Elite Dangerous/";

// APath with a separator at its end, written with this platform's separator.
std::u16string AsFolder(std::u16string APath) {
  std::replace(APath.begin(), APath.end(), u'/', PathDelimiter());
  while (!APath.empty() && (APath.back() == u'/' || APath.back() == PathDelimiter())) APath.pop_back();
  return APath + PathDelimiter();
}

std::u16string Join(const std::u16string& AFolder, std::u16string_view ARelative) {
  return AsFolder(AsFolder(AFolder) + std::u16string(ARelative));
}

enum class TToken { Text, Open, Close, End, Broken };

// Splits the key-value text into its tokens; conditions ("[$WIN32]") and comments are skipped.
class TVdfTokens {
 public:
  explicit TVdfTokens(std::string_view AText) : FText(AText) {}

  TToken Next(std::string& AText) {
    for (;;) {
      const TToken token = Read(AText);
      if (token != TToken::Text || FQuoted || AText.size() < 2 || AText.front() != '[' || AText.back() != ']')
        return token;
    }
  }

 private:
  TToken Read(std::string& AText) {
    SkipSpaceAndComments();
    AText.clear();
    FQuoted = false;
    if (FPos >= FText.size()) return TToken::End;
    const char c = FText[FPos];
    if (c == '{' || c == '}') {
      ++FPos;
      return c == '{' ? TToken::Open : TToken::Close;
    }
    if (c == '"') return ReadQuoted(AText);
    while (FPos < FText.size() && !IsSpace(FText[FPos]) && FText[FPos] != '"' && FText[FPos] != '{' &&
           FText[FPos] != '}')
      AText += FText[FPos++];
    return TToken::Text;
  }

  TToken ReadQuoted(std::string& AText) {
    FQuoted = true;
    for (++FPos; FPos < FText.size(); ++FPos) {
      char c = FText[FPos];
      if (c == '"') {
        ++FPos;
        return TToken::Text;
      }
      if (c == '\\' && FPos + 1 < FText.size()) {
        const char next = FText[FPos + 1];
        if (next == '\\' || next == '"' || next == 'n' || next == 't') {
          c = next == 'n' ? '\n' : next == 't' ? '\t' : next;
          ++FPos;
        }
      }
      AText += c;
    }
    return TToken::Broken;  // no closing quote
  }

  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

  void SkipSpaceAndComments() {
    while (FPos < FText.size()) {
      if (IsSpace(FText[FPos])) {
        ++FPos;
      } else if (FText.substr(FPos, 2) == "//") {
        const auto end = FText.find('\n', FPos);
        FPos = end == std::string_view::npos ? FText.size() : end + 1;
      } else {
        return;
      }
    }
  }

  std::string_view FText;
  std::size_t FPos = 0;
  bool FQuoted = false;
};

bool IsNumber(std::string_view AText) {
  return !AText.empty() && std::all_of(AText.begin(), AText.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The library paths one libraryfolders.vdf lists; nothing when it is missing or unreadable.
std::vector<std::string> LibraryPathsIn(const std::u16string& AFileName) {
  const auto stamp = FileStamp(AFileName);
  if (!stamp || stamp->Size > kMaxVdfFileSize) return {};
  try {
    return VdfLibraryPaths(ReadSharedFileBytes(AFileName));
  } catch (const Exception&) {
    return {};
  }
}

// Whether AFolder is already in AFolders: the same text, or the same folder reached another
// way (~/.steam/steam is usually a link to ~/.local/share/Steam).
bool Listed(const std::vector<std::u16string>& AFolders, const std::u16string& AFolder) {
  for (const std::u16string& folder : AFolders) {
    if (folder == AFolder) return true;
    std::error_code error;
    if (std::filesystem::equivalent(std::filesystem::path(folder), std::filesystem::path(AFolder), error))
      return true;
  }
  return false;
}

// Each library's Proton prefix folder ARelative, after the folders of the known folders.
std::vector<std::u16string> Candidates(const TGameFolderRoots& ARoots, const std::u16string& AKnownFolder,
                                       std::u16string_view AWindowsRelative, std::u16string_view AProtonRelative) {
  std::vector<std::u16string> candidates;
  if (!AKnownFolder.empty()) candidates.push_back(Join(AKnownFolder, AWindowsRelative));
  if (!ARoots.Home.empty())
    for (const std::u16string& library : SteamLibraryFolders(ARoots.Home))
      candidates.push_back(Join(library, std::u16string(kProtonUser) + std::u16string(AProtonRelative)));
  return candidates;
}

}  // namespace

std::vector<TVdfValue> ParseVdf(std::string_view AText) {
  std::vector<TVdfValue> values;
  std::vector<std::string> keys;
  TVdfTokens tokens(AText);
  std::string key, value;
  for (;;) {
    const TToken token = tokens.Next(key);
    if (token == TToken::Close && !keys.empty()) {
      keys.pop_back();
      continue;
    }
    if (token != TToken::Text) break;  // the end, or a brace or quote out of place
    const TToken next = tokens.Next(value);
    if (next == TToken::Text) {
      values.push_back({keys, value});
      values.back().Keys.push_back(key);
    } else if (next == TToken::Open && keys.size() < kMaxVdfDepth) {
      keys.push_back(key);
    } else {
      break;
    }
  }
  return values;
}

std::vector<std::string> VdfLibraryPaths(std::string_view AText) {
  std::vector<std::string> paths;
  for (const TVdfValue& value : ParseVdf(AText)) {
    const auto& keys = value.Keys;
    if (value.Value.empty() || keys.empty() || !SameTextBytes(keys[0], "libraryfolders")) continue;
    const bool entry = keys.size() == 3 && SameTextBytes(keys[2], "path");
    const bool older = keys.size() == 2 && IsNumber(keys[1]);
    if (entry || older) paths.push_back(value.Value);
  }
  return paths;
}

std::vector<std::u16string> SteamLibraryFolders(const std::u16string& AHome) {
  const std::u16string roots[] = {Join(AHome, u".steam/steam"), Join(AHome, u".local/share/Steam"),
                                  Join(AHome, u".var/app/com.valvesoftware.Steam/.local/share/Steam")};
  std::vector<std::u16string> folders;
  const auto add = [&folders](const std::u16string& AFolder) {
    if (!Listed(folders, AFolder)) folders.push_back(AFolder);
  };
  for (const std::u16string& root : roots) add(root);
  for (const std::u16string& root : roots)
    for (const std::string& path : LibraryPathsIn(Join(root, u"steamapps") + u"libraryfolders.vdf"))
      add(AsFolder(Utf8ToUtf16(path)));
  return folders;
}

std::vector<std::u16string> StatusFolderCandidates(const TGameFolderRoots& ARoots) {
  return Candidates(ARoots, ARoots.SavedGames, kGameFolder, std::u16string(u"Saved Games/") + std::u16string(kGameFolder));
}

std::vector<std::u16string> BindingsFolderCandidates(const TGameFolderRoots& ARoots) {
  const std::u16string bindings = std::u16string(kGameFolder) + u"Options/Bindings/";
  return Candidates(ARoots, ARoots.LocalAppData, bindings, u"AppData/Local/" + bindings);
}

std::vector<std::u16string> StatusFolderCandidates() { return StatusFolderCandidates(GameFolderRoots()); }

std::vector<std::u16string> BindingsFolderCandidates() { return BindingsFolderCandidates(GameFolderRoots()); }
