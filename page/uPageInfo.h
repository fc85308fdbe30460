#pragma once
// The control page: its model (tabs, rows of cells) with the HTML each element renders,
// and the process-wide page object that holds the settings, the companion files and the
// assembly of the final page from the template.
//
// Rendered markup is built by filling fixed templates; nothing is escaped, so a value holding
// quotes or angle brackets goes into the page as it is. The model is read-only once built and
// may be rendered by several threads at once.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/uErrors.h"
#include "base/uStrings.h"
#include "base/uText.h"

// Rendering an element that has no such rendering (a tab without its hidden flag).
class EAbstractError : public Exception {
  using Exception::Exception;
};

// An ordered list that owns its entries and destroys them with itself.
template <typename T>
class TOwningList {
 public:
  TOwningList() = default;
  TOwningList(const TOwningList&) = delete;
  TOwningList& operator=(const TOwningList&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError for an index outside the list.
  T& Items(int index) { return *FItems[CheckedIndex(index)]; }
  const T& Items(int index) const { return *FItems[CheckedIndex(index)]; }
  // Appends at the end and takes ownership; returns the entry.
  template <typename U>
  U& Add(std::unique_ptr<U> item) {
    U& entry = *item;
    FItems.push_back(std::move(item));
    return entry;
  }
  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 private:
  std::size_t CheckedIndex(int index) const {
    if (index < 0 || index >= Count()) throw EListError(u"List index out of bounds (" + IntToStr(index) + u")");
    return static_cast<std::size_t>(index);
  }

  std::vector<std::unique_ptr<T>> FItems;
};

// What every visible element has: a caption and a colour word (the CSS class
// "background-" followed by the word).
class TPageItem {
 public:
  TPageItem(std::u16string AText, std::u16string AColor);
  virtual ~TPageItem() = default;
  TPageItem(const TPageItem&) = delete;
  TPageItem& operator=(const TPageItem&) = delete;

  const std::u16string& Text() const { return FText; }
  void SetText(std::u16string value) { FText = std::move(value); }
  const std::u16string& Color() const { return FColor; }
  void SetColor(std::u16string value) { FColor = std::move(value); }

  virtual std::u16string AsHTML() const = 0;

 private:
  std::u16string FText;
  std::u16string FColor;
};

// One cell of a button row.
class TButtonBase : public TPageItem {
 public:
  TButtonBase(std::u16string AText, std::u16string AColor, std::int32_t AColspan);

  std::int32_t Colspan() const { return FColspan; }
  void SetColspan(std::int32_t value) { FColspan = value; }

 private:
  std::int32_t FColspan;
};

// A cell that sends a key sequence.
class TButtonKeyPress : public TButtonBase {
 public:
  TButtonKeyPress(std::u16string AKey, std::u16string AText, std::u16string AColor, std::int32_t AColspan);

  const std::u16string& Key() const { return FKey; }
  void SetKey(std::u16string value) { FKey = std::move(value); }

  std::u16string AsHTML() const override;

 private:
  std::u16string FKey;
};

// A caption cell without action.
class TButtonTitle : public TButtonBase {
 public:
  using TButtonBase::TButtonBase;
  std::u16string AsHTML() const override;
};

// A cell that acts on virtual-joystick buttons; the subclasses name the action.
class TButtonButtons : public TButtonBase {
 public:
  TButtonButtons(std::vector<std::int32_t> AButtonIds, std::u16string AText, std::u16string AColor,
                 std::int32_t AColspan);

  // In the order given, a repeated id stored again.
  const std::vector<std::int32_t>& ButtonsIds() const { return FButtonsIds; }
  // Every id preceded by a comma: ids 1 and 5 give ",1,5", no ids give empty text.
  std::u16string ButtonsIdsAsString() const;

  std::u16string AsHTML() const override;

 protected:
  virtual std::u16string GetAction() const = 0;

 private:
  std::vector<std::int32_t> FButtonsIds;
};

// Presses the buttons and keeps them pressed.
class TButtonButtonsDown : public TButtonButtons {
 public:
  using TButtonButtons::TButtonButtons;

 protected:
  std::u16string GetAction() const override;
};

// Releases the buttons.
class TButtonButtonsUp : public TButtonButtons {
 public:
  using TButtonButtons::TButtonButtons;

 protected:
  std::u16string GetAction() const override;
};

// Presses and releases the buttons.
class TButtonButtonsPress : public TButtonButtons {
 public:
  using TButtonButtons::TButtonButtons;

 protected:
  std::u16string GetAction() const override;
};

// The cells of a row, left to right.
using TButtons = TOwningList<TButtonBase>;

// One table row.
class TButtonRow {
 public:
  TButtonRow() = default;
  TButtonRow(const TButtonRow&) = delete;
  TButtonRow& operator=(const TButtonRow&) = delete;

  TButtons& Buttons() { return FButtons; }
  const TButtons& Buttons() const { return FButtons; }

  // "<tr>", every cell on a line of its own, "</tr>"; empty text for a row without cells.
  std::u16string AsHTML() const;

 private:
  TButtons FButtons;
};

// Table rows, top to bottom.
class TButtonRows : public TOwningList<TButtonRow> {
 public:
  // A new empty row at the end; the list keeps it, the caller fills its cells.
  TButtonRow& AddButtonRow();
  // Every row followed by CR LF.
  std::u16string AsHTML() const;
};

// One tab: its cell in the tab bar and the table of rows it shows.
class TTabInfo : public TPageItem {
 public:
  TTabInfo(std::u16string AId, std::u16string AText, std::u16string AColor);

  const std::u16string& Command() const { return FCommand; }
  void SetCommand(std::u16string value) { FCommand = std::move(value); }
  const std::u16string& OnClick() const { return FOnClick; }
  void SetOnClick(std::u16string value) { FOnClick = std::move(value); }
  const std::u16string& Id() const { return FId; }
  void SetId(std::u16string value) { FId = std::move(value); }
  TButtonRows& ButtonRows() { return FButtonRows; }
  const TButtonRows& ButtonRows() const { return FButtonRows; }

  // A tab has no rendering without its hidden flag: raises EAbstractError.
  std::u16string AsHTML() const override;
  // The tab's table; a hidden one carries class="hidden".
  virtual std::u16string AsHTML(bool AHidden) const;
  // The tab's cell in the tab bar, without a line break.
  std::u16string AsTabsHTML() const;

 private:
  std::u16string FCommand;
  std::u16string FOnClick;
  std::u16string FId;
  TButtonRows FButtonRows;
};

// The tabs, left to right.
class TTabInfos : public TOwningList<TTabInfo> {
 public:
  TTabInfo& AddTab(std::u16string AId, std::u16string AText, std::u16string AColor);
};

// The one page object: the settings, the page model and the companion files of the template.
class TPageInfo {
 public:
  TPageInfo() = default;
  TPageInfo(const TPageInfo&) = delete;
  TPageInfo& operator=(const TPageInfo&) = delete;

  const std::u16string& PageTitle() const { return FPageTitle; }
  void SetPageTitle(std::u16string value) { FPageTitle = std::move(value); }
  std::int32_t VirtualJoystickId() const { return FVirtualJoystickId; }
  void SetVirtualJoystickId(std::int32_t value) { FVirtualJoystickId = value; }
  std::int32_t WebServerPortNr() const { return FWebServerPortNr; }
  void SetWebServerPortNr(std::int32_t value) { FWebServerPortNr = value; }

  // The model is built through these before the service runs and is read-only afterwards.
  // Each writable access counts as a change of the model, so the next AssemblePage renders
  // the panel anew.
  TTabInfos& TabInfos() { return ModelChanged(FTabInfos); }
  const TTabInfos& TabInfos() const { return FTabInfos; }
  // Rows shown below the tabs' tables, on every tab.
  TButtonRows& GenericPartPostfix() { return ModelChanged(FGenericPartPostfix); }
  const TButtonRows& GenericPartPostfix() const { return FGenericPartPostfix; }
  // Rows shown between the tab bar and the tabs' tables, on every tab.
  TButtonRows& GenericPartPrefix() { return ModelChanged(FGenericPartPrefix); }
  const TButtonRows& GenericPartPrefix() const { return FGenericPartPrefix; }

  // The button panel: tab bar, prefix rows, every tab's table (only the first visible),
  // postfix rows.
  std::u16string GetHTML() const;
  // The script and style files' lines, each followed by CR LF.
  std::u16string GetScript() const;
  std::u16string GetStyles() const;

  // Reloads ABaseDir + "script.js", then ABaseDir + "styles.css" (ABaseDir ends with the
  // separator). A missing file keeps the lines of the last load; one that exists but cannot
  // be opened raises EFOpenError and ends the reload there.
  void LoadExternalFiles(const std::u16string& ABaseDir);
  // Fills "$$PageTitle$$", "$$HTML$$", "$$SCRIPT$$" and "$$STYLES$$" (any letter case) in
  // every line that holds "$$", in place; the number of lines never changes.
  void ReplaceStrings(TStrings& ALines) const;

  // One page request's body, as the page route makes it from ATemplate, the bytes of its
  // template file: the template read into lines (raising as TStrings::LoadFromBytes does,
  // before the companion files are touched), LoadExternalFiles(ABaseDir), ReplaceStrings and
  // the lines written out as bytes. The companion files are reloaded on every call; when the
  // template bytes, the companion files' lines, the title and the model are all those of the
  // previous call's page, that page's bytes come back instead of being filled again. Safe to
  // call from several threads at once: the files are read without the request lock, and
  // putting them in, the filling and the kept page are guarded by it. Of requests that overlap,
  // one whose read began before the read the lines already hold uses those newer lines.
  std::shared_ptr<const std::string> AssemblePage(const std::u16string& ABaseDir, std::string ATemplate);

  // Serialises page requests: AssemblePage holds it, and so must a caller that calls
  // LoadExternalFiles and ReplaceStrings itself, across both, because the reload replaces
  // the lines that the filling reads.
  std::mutex& RequestLock() { return FRequestLock; }

 private:
  // What the last assembled page was made of, and its bytes.
  struct TAssembledPage {
    std::string Template;
    std::u16string PageTitle;
    std::uint64_t ScriptLoads = 0;
    std::uint64_t StylesLoads = 0;
    std::uint64_t ModelChanges = 0;
    std::shared_ptr<const std::string> Bytes;
  };

  // One companion file's lines with the bytes they were last loaded from (an unchanged file
  // is not decoded again), how many loads replaced them, and the number of the read they
  // hold.
  struct TCompanionFile {
    explicit TCompanionFile(TStrings& ALines) : Lines(&ALines) {}
    TStrings* Lines;
    std::string LastBytes;
    std::uint64_t Loads = 0;
    std::uint64_t LastRead = 0;
  };
  // What one request read of a companion file: nothing when the file is missing, else its
  // bytes or the error that reading it raised, kept until the read is put in.
  struct TCompanionRead {
    std::optional<std::string> Bytes;
    std::exception_ptr Error;
  };
  // What one request read of both companion files, numbered in the order the reads began.
  struct TCompanionReads {
    std::uint64_t Number = 0;
    TCompanionRead Script;
    TCompanionRead Styles;
  };
  static TCompanionRead ReadCompanion(const std::u16string& AFileName);
  // Reads the files; touches nothing but the read counter, so no lock is needed.
  TCompanionReads ReadCompanionFiles(const std::u16string& ABaseDir);
  // Puts the reads into the lines, under the request lock: raises a read's error, keeps the
  // lines for a missing file.
  void PutCompanionFiles(TCompanionReads& AReads);
  static void PutCompanion(TCompanionFile& AFile, TCompanionRead& ARead, std::uint64_t ANumber);

  template <typename T>
  T& ModelChanged(T& APart) {
    ++FModelChanges;
    return APart;
  }

  std::u16string GetTabsHTML() const;
  std::u16string GetGenericPartPrefixHTML() const;
  std::u16string GetTabInfosHTML() const;
  std::u16string GetGenericPartPostfixHTML() const;

  // Declared in construction order; destroyed in reverse, the script first.
  std::u16string FPageTitle;
  std::int32_t FVirtualJoystickId = 0;
  std::int32_t FWebServerPortNr = 0;
  TTabInfos FTabInfos;
  TButtonRows FGenericPartPostfix;
  TButtonRows FGenericPartPrefix;
  TStrings FStyles;
  TStrings FScript;
  // Guards FScript, FStyles and the state below during page requests. FReadsBegun is counted
  // without it; FModelChanges changes only while the model is built, before any request.
  std::mutex FRequestLock;
  TCompanionFile FStylesFile{FStyles};
  TCompanionFile FScriptFile{FScript};
  std::atomic<std::uint64_t> FReadsBegun{0};
  std::uint64_t FModelChanges = 0;
  std::optional<TAssembledPage> FLastPage;
};

// The process-wide page object, built with the built-in page and the defaults (device 2,
// port 8080) on the first call. The first call belongs on the main thread, before the HTTP
// service runs.
TPageInfo& GetPageInfo();
// The program's exit: destroys the page object; a later GetPageInfo builds a new one.
void FreePageInfo();
