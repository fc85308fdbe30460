#include "page/uPageInfo.h"

#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "base/uFiles.h"
#include "base/uText.h"
#include "page/uPageInfoEliteDangerous.h"

namespace {

// Where APattern (upper-case ASCII) next stands in AText at or after AFrom, letters compared
// in upper-case form; npos when it does not.
std::size_t FindIgnoreCase(std::u16string_view AText, std::u16string_view APattern, std::size_t AFrom) {
  if (APattern.empty() || AText.size() < APattern.size()) return std::u16string_view::npos;
  const std::size_t last = AText.size() - APattern.size();
  for (std::size_t i = AFrom; i <= last; ++i) {
    // Every placeholder starts with a character that has no case, so find() skips ahead.
    i = AText.find(APattern[0], i);
    if (i == std::u16string_view::npos || i > last) return std::u16string_view::npos;
    std::size_t k = 1;
    while (k < APattern.size() && UpCaseAscii(AText[i + k]) == APattern[k]) ++k;
    if (k == APattern.size()) return i;
  }
  return std::u16string_view::npos;
}

// A template line being filled: runs of the template's own text, and the values put in. Only
// the template's text is searched for placeholders, so a value (a panel's caption or title)
// that holds "$$SCRIPT$$" is shown as written instead of being filled in.
struct TLinePiece {
  std::u16string Text;
  bool Filled = false;
};

// Every occurrence of APattern in the template's text, compared in upper-case form, replaced
// by the value AValue gives. The value is asked for only when there is an occurrence.
template <typename TValue>
void ReplaceAllIgnoreCase(std::vector<TLinePiece>& ALine, std::u16string_view APattern, TValue&& AValue) {
  const std::u16string pattern = UpperCaseAscii(APattern);
  std::vector<TLinePiece> result;
  for (TLinePiece& piece : ALine) {
    std::size_t found = piece.Filled ? std::u16string::npos : FindIgnoreCase(piece.Text, pattern, 0);
    if (found == std::u16string::npos) {
      result.push_back(std::move(piece));
      continue;
    }
    std::size_t start = 0;
    for (; found != std::u16string::npos; found = FindIgnoreCase(piece.Text, pattern, start)) {
      result.push_back({piece.Text.substr(start, found - start), false});
      result.push_back({AValue(), true});
      start = found + pattern.size();
    }
    result.push_back({piece.Text.substr(start), false});
  }
  ALine = std::move(result);
}

// A value worked out at most once, on first use.
class TLazyText {
 public:
  explicit TLazyText(std::function<std::u16string()> AMake) : FMake(std::move(AMake)) {}
  const std::u16string& operator()() {
    if (!FValue) FValue = FMake();
    return *FValue;
  }

 private:
  std::function<std::u16string()> FMake;
  std::optional<std::u16string> FValue;
};

std::unique_ptr<TPageInfo> PageInfo;
// The first requests may come at once: one of them makes the page object.
std::mutex PageInfoLock;

}  // namespace

std::shared_ptr<const TPageModel> TPageInfo::Model() const {
  std::lock_guard lock(FModelLock);
  return FModel;
}

void TPageInfo::SetModel(std::shared_ptr<const TPageModel> AModel) {
  std::lock_guard lock(FModelLock);
  // Open pages reload when the version rises; a Start that reads the same file again changes
  // nothing they show, and must not throw them back to their first tab.
  if (FModel != AModel && !(FModel && AModel && FModel->GetHTML() == AModel->GetHTML())) ++FModelVersion;
  FModel = std::move(AModel);
}

std::u16string TPageInfo::PageTitle() const {
  std::lock_guard lock(FModelLock);
  return FPageTitle;
}

void TPageInfo::SetPageTitle(std::u16string value) {
  std::lock_guard lock(FModelLock);
  FPageTitle = std::move(value);
}

std::u16string TPageInfo::PanelFile() const {
  std::lock_guard lock(FModelLock);
  return FPanelFile;
}

void TPageInfo::SetPanelFile(std::u16string AFileName) {
  std::lock_guard lock(FModelLock);
  FPanelFile = std::move(AFileName);
}

std::u16string TPageInfo::PanelSaveFile() const {
  std::lock_guard lock(FModelLock);
  return FPanelSaveFile;
}

void TPageInfo::SetPanelSaveFile(std::u16string AFileName) {
  std::lock_guard lock(FModelLock);
  FPanelSaveFile = std::move(AFileName);
}

std::u16string TPageInfo::GetHTML() const { return Model()->GetHTML(); }

std::u16string TPageInfo::GetScript() const { return FScript.Text(); }

std::u16string TPageInfo::GetStyles() const { return FStyles.Text(); }

// A file that vanishes between the existence test and the open counts as missing too; one
// that is there and still cannot be opened raises.
TPageInfo::TCompanionRead TPageInfo::ReadCompanion(const std::u16string& AFileName) {
  TCompanionRead read;
  try {
    if (!FileExists(AFileName)) return read;
    try {
      read.Bytes = ReadFileBytes(AFileName);
    } catch (const EFOpenError&) {
      if (FileExists(AFileName)) throw;
    }
  } catch (...) {
    read.Error = std::current_exception();
  }
  return read;
}

// The script first, then the styles, which are not read once the script has failed.
TPageInfo::TCompanionReads TPageInfo::ReadCompanionFiles(const std::u16string& ABaseDir) {
  TCompanionReads reads;
  reads.Number = ++FReadsBegun;
  reads.Script = ReadCompanion(ABaseDir + u"script.js");
  if (!reads.Script.Error) reads.Styles = ReadCompanion(ABaseDir + u"styles.css");
  return reads;
}

void TPageInfo::PutCompanion(TCompanionFile& AFile, TCompanionRead& ARead, std::uint64_t ANumber) {
  if (ARead.Error) std::rethrow_exception(ARead.Error);
  // A missing file keeps the last load. So does a read that began before the one the lines
  // hold now: that newer read took place while this one's request was running, so its lines
  // are as current for this request as its own, and the lines never go back to older bytes.
  if (!ARead.Bytes || ANumber < AFile.LastRead) return;
  if (!AFile.Lines->Encoding() || *ARead.Bytes != AFile.LastBytes) {
    AFile.Lines->LoadFromBytes(*ARead.Bytes);
    AFile.LastBytes = std::move(*ARead.Bytes);
    ++AFile.Loads;
  }
  AFile.LastRead = ANumber;
}

void TPageInfo::PutCompanionFiles(TCompanionReads& AReads) {
  PutCompanion(FScriptFile, AReads.Script, AReads.Number);
  PutCompanion(FStylesFile, AReads.Styles, AReads.Number);
}

void TPageInfo::LoadExternalFiles(const std::u16string& ABaseDir) {
  TCompanionReads reads = ReadCompanionFiles(ABaseDir);
  PutCompanionFiles(reads);
}

std::shared_ptr<const std::string> TPageInfo::AssemblePage(const std::u16string& ABaseDir, std::string ATemplate) {
  // The companion files are read before the lock is taken, so page requests wait for each
  // other only while the lines are compared, replaced or filled.
  TCompanionReads reads = ReadCompanionFiles(ABaseDir);
  TStrings lines;
  TPageSources sources;
  {
    std::lock_guard lock(FRequestLock);
    // A broken template fails before the companion files are put in, as a fresh fill does;
    // the kept page's template is known to decode.
    const bool keptTemplate = FLastPage && FLastPage->Sources.Template == ATemplate;
    if (!keptTemplate) lines.LoadFromBytes(ATemplate);
    PutCompanionFiles(reads);
    sources = TPageSources{std::move(ATemplate), PageTitle(), FScriptFile.Loads, FStylesFile.Loads, Model()};
    if (FLastPage && FLastPage->Sources == sources) return FLastPage->Bytes;
    if (keptTemplate) lines.LoadFromBytes(sources.Template);
    ReplaceStrings(lines, *sources.Model);
  }
  // The filled lines belong to this request alone, so they are written out without the lock.
  // Should a newer page have been kept meanwhile, it is replaced, which costs at most one more
  // fill later and never a wrong page.
  auto bytes = std::make_shared<const std::string>(lines.SaveToBytes());
  std::lock_guard lock(FRequestLock);
  FLastPage = TAssembledPage{std::move(sources), bytes};
  return bytes;
}

void TPageInfo::ReplaceStrings(TStrings& ALines) const { ReplaceStrings(ALines, *Model()); }

void TPageInfo::ReplaceStrings(TStrings& ALines, const TPageModel& AModel) const {
  // Nothing changes the values while the lines are filled (the model is a snapshot), so each
  // is worked out once, and only for a line that holds its placeholder.
  TLazyText html([&AModel] { return AModel.GetHTML(); });
  TLazyText script([this] { return GetScript(); });
  TLazyText styles([this] { return GetStyles(); });
  TLazyText title([this] { return PageTitle(); });
  const int count = ALines.Count();
  for (int i = 0; i < count; ++i) {
    if (ALines.Strings(i).find(u"$$") == std::u16string::npos) continue;
    // Each step searches the template's text as the previous step left it.
    std::vector<TLinePiece> pieces{{ALines.Strings(i), false}};
    ReplaceAllIgnoreCase(pieces, u"$$PageTitle$$", title);
    ReplaceAllIgnoreCase(pieces, u"$$HTML$$", html);
    ReplaceAllIgnoreCase(pieces, u"$$SCRIPT$$", script);
    ReplaceAllIgnoreCase(pieces, u"$$STYLES$$", styles);
    std::u16string line;
    for (const TLinePiece& piece : pieces) line += piece.Text;
    ALines.SetStrings(i, std::move(line));
  }
}

TPageInfo& GetPageInfo() {
  std::lock_guard lock(PageInfoLock);
  if (!PageInfo) {
    // Built completely before it is published, so a failing build leaves no half page behind.
    auto page = std::make_unique<TPageInfo>();
    FillEliteDangerousPage(*page);
    page->SetVirtualJoystickId(2);
    page->SetWebServerPortNr(8080);
    PageInfo = std::move(page);
  }
  return *PageInfo;
}

void FreePageInfo() {
  std::lock_guard lock(PageInfoLock);
  PageInfo.reset();
}
