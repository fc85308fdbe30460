#include "page/uPageInfo.h"

#include <exception>
#include <functional>
#include <optional>
#include <string_view>

#include "base/uFiles.h"
#include "base/uText.h"
#include "page/uPageInfoEliteDangerous.h"

namespace {

constexpr std::u16string_view kCrLf = u"\r\n";

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

// Every occurrence of APattern in AText, compared in upper-case form, replaced by the value
// AValue gives; the scan goes on after each inserted value, so an insertion is never searched
// again. The value is asked for only when there is an occurrence.
template <typename TValue>
void ReplaceAllIgnoreCase(std::u16string& AText, std::u16string_view APattern, TValue&& AValue) {
  const std::u16string pattern = UpperCaseAscii(APattern);
  std::size_t found = FindIgnoreCase(AText, pattern, 0);
  if (found == std::u16string::npos) return;
  const std::u16string& value = AValue();
  std::u16string result;
  result.reserve(AText.size() + value.size());
  std::size_t start = 0;
  for (; found != std::u16string::npos; found = FindIgnoreCase(AText, pattern, start)) {
    result.append(AText, start, found - start);
    result += value;
    start = found + pattern.size();
  }
  result.append(AText, start);
  AText = std::move(result);
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

// AOpen, one line per entry, AClose, every line followed by CR LF; empty text for no entries.
template <typename TList, typename TRender>
std::u16string LinesAround(std::u16string_view AOpen, const TList& AList, TRender ARender,
                           std::u16string_view AClose) {
  if (AList.Count() == 0) return {};
  std::u16string result(AOpen);
  result += kCrLf;
  for (const auto& entry : AList) {
    result += ARender(entry);
    result += kCrLf;
  }
  result += AClose;
  result += kCrLf;
  return result;
}

// The table that holds the rows shown on every tab; empty text without rows.
std::u16string GenericPartHTML(const TButtonRows& ARows) {
  if (ARows.Count() == 0) return {};
  std::u16string result = u"<table>";
  result += kCrLf;
  result += ARows.AsHTML();
  result += kCrLf;
  result += u"</table>";
  result += kCrLf;
  return result;
}

std::unique_ptr<TPageInfo> PageInfo;

}  // namespace

TPageItem::TPageItem(std::u16string AText, std::u16string AColor)
    : FText(std::move(AText)), FColor(std::move(AColor)) {}

TButtonBase::TButtonBase(std::u16string AText, std::u16string AColor, std::int32_t AColspan)
    : TPageItem(std::move(AText), std::move(AColor)), FColspan(AColspan) {}

TButtonKeyPress::TButtonKeyPress(std::u16string AKey, std::u16string AText, std::u16string AColor,
                                 std::int32_t AColspan)
    : TButtonBase(std::move(AText), std::move(AColor), AColspan), FKey(std::move(AKey)) {}

std::u16string TButtonKeyPress::AsHTML() const {
  return u"<td colspan=\"" + IntToStr(Colspan()) + u"\" action=\"keypress\" key=\"" + Key() +
         u"\" class=\"background-" + Color() + u"\">" + Text() + u"</td>";
}

std::u16string TButtonTitle::AsHTML() const {
  return u"<td colspan=\"" + IntToStr(Colspan()) + u"\" class=\"background-" + Color() + u" small\">" +
         Text() + u"</td>";
}

TButtonButtons::TButtonButtons(std::vector<std::int32_t> AButtonIds, std::u16string AText,
                               std::u16string AColor, std::int32_t AColspan)
    : TButtonBase(std::move(AText), std::move(AColor), AColspan), FButtonsIds(std::move(AButtonIds)) {}

std::u16string TButtonButtons::ButtonsIdsAsString() const {
  std::u16string result;
  for (const std::int32_t id : FButtonsIds) {
    result += u',';
    result += IntToStr(id);
  }
  return result;
}

std::u16string TButtonButtons::AsHTML() const {
  return u"<td colspan=\"" + IntToStr(Colspan()) + u"\" action=\"" + GetAction() + u"\" key=\"" +
         ButtonsIdsAsString() + u"\" class=\"background-" + Color() + u"\">" + Text() + u"</td>";
}

std::u16string TButtonButtonsDown::GetAction() const { return u"buttonsdown"; }
std::u16string TButtonButtonsUp::GetAction() const { return u"buttonsup"; }
std::u16string TButtonButtonsPress::GetAction() const { return u"buttonspress"; }

std::u16string TButtonRow::AsHTML() const {
  return LinesAround(u"<tr>", FButtons, [](const auto& button) { return button->AsHTML(); }, u"</tr>");
}

TButtonRow& TButtonRows::AddButtonRow() { return Add(std::make_unique<TButtonRow>()); }

std::u16string TButtonRows::AsHTML() const {
  std::u16string result;
  for (const auto& row : *this) {
    result += row->AsHTML();
    result += kCrLf;
  }
  return result;
}

TTabInfo::TTabInfo(std::u16string AId, std::u16string AText, std::u16string AColor)
    : TPageItem(std::move(AText), std::move(AColor)),
      FCommand(u"show"),
      FOnClick(u"docommand(this)"),
      FId(std::move(AId)) {}

std::u16string TTabInfo::AsHTML() const {
  throw EAbstractError(u"A tab renders only its tab cell or its table");
}

std::u16string TTabInfo::AsHTML(bool AHidden) const {
  const std::u16string hidden = AHidden ? u"class=\"hidden\"" : u"";
  std::u16string result = u"<table id=\"id_" + Id() + u"\" " + hidden + u">";
  result += kCrLf;
  result += FButtonRows.AsHTML();
  result += u"</table>";
  result += kCrLf;
  return result;
}

std::u16string TTabInfo::AsTabsHTML() const {
  return u"<td command=\"" + Command() + u"\" subject=\"" + Id() + u"\" onclick=\"" + OnClick() +
         u"\" class=\"background-" + Color() + u"\">" + Text() + u"</td>";
}

TTabInfo& TTabInfos::AddTab(std::u16string AId, std::u16string AText, std::u16string AColor) {
  return Add(std::make_unique<TTabInfo>(std::move(AId), std::move(AText), std::move(AColor)));
}

std::u16string TPageInfo::GetHTML() const {
  std::u16string result = GetTabsHTML();
  result += GetGenericPartPrefixHTML();
  result += GetTabInfosHTML();
  result += GetGenericPartPostfixHTML();
  return result;
}

// All tab cells stand in one table row.
std::u16string TPageInfo::GetTabsHTML() const {
  return LinesAround(u"<table><tr>", FTabInfos, [](const auto& tab) { return tab->AsTabsHTML(); },
                     u"</tr></table>");
}

std::u16string TPageInfo::GetGenericPartPrefixHTML() const { return GenericPartHTML(FGenericPartPrefix); }

std::u16string TPageInfo::GetGenericPartPostfixHTML() const { return GenericPartHTML(FGenericPartPostfix); }

std::u16string TPageInfo::GetTabInfosHTML() const {
  std::u16string result;
  bool first = true;
  for (const auto& tab : FTabInfos) {
    result += tab->AsHTML(!first);
    result += kCrLf;
    first = false;
  }
  return result;
}

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
  TAssembledPage page;
  {
    std::lock_guard lock(FRequestLock);
    // The previous page's template is known to decode; any other is decoded first, so a
    // broken one fails before the companion files are put in, as a fresh fill does.
    const bool sameTemplate = FLastPage && FLastPage->Template == ATemplate;
    if (!sameTemplate) lines.LoadFromBytes(ATemplate);
    PutCompanionFiles(reads);
    if (sameTemplate && FLastPage->ScriptLoads == FScriptFile.Loads && FLastPage->StylesLoads == FStylesFile.Loads &&
        FLastPage->ModelChanges == FModelChanges && FLastPage->PageTitle == FPageTitle)
      return FLastPage->Bytes;
    if (sameTemplate) lines.LoadFromBytes(ATemplate);
    ReplaceStrings(lines);
    page = TAssembledPage{std::move(ATemplate), FPageTitle, FScriptFile.Loads, FStylesFile.Loads, FModelChanges,
                          nullptr};
  }
  // The filled lines belong to this request alone, so they are written out without the lock.
  // The page is kept with what it was made of; should a newer one have been kept meanwhile,
  // it is replaced, which costs at most one more fill later and never a wrong page.
  page.Bytes = std::make_shared<const std::string>(lines.SaveToBytes());
  std::shared_ptr<const std::string> bytes = page.Bytes;
  std::lock_guard lock(FRequestLock);
  FLastPage = std::move(page);
  return bytes;
}

void TPageInfo::ReplaceStrings(TStrings& ALines) const {
  // Nothing changes the values while the lines are filled, so each is worked out once, and
  // only for a line that holds its placeholder.
  TLazyText html([this] { return GetHTML(); });
  TLazyText script([this] { return GetScript(); });
  TLazyText styles([this] { return GetStyles(); });
  const int count = ALines.Count();
  for (int i = 0; i < count; ++i) {
    if (ALines.Strings(i).find(u"$$") == std::u16string::npos) continue;
    // Each step searches the line as the previous step left it.
    std::u16string line = ALines.Strings(i);
    ReplaceAllIgnoreCase(line, u"$$PageTitle$$", [this]() -> const std::u16string& { return PageTitle(); });
    ReplaceAllIgnoreCase(line, u"$$HTML$$", html);
    ReplaceAllIgnoreCase(line, u"$$SCRIPT$$", script);
    ReplaceAllIgnoreCase(line, u"$$STYLES$$", styles);
    ALines.SetStrings(i, std::move(line));
  }
}

TPageInfo& GetPageInfo() {
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

void FreePageInfo() { PageInfo.reset(); }
