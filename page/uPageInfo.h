#pragma once
// The process-wide page object: the settings, the page model in use and the companion files
// of the template, and the assembly of the final page from the template.

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "base/uStrings.h"
#include "page/uPageModel.h"

// The one page object: the settings, the page model and the companion files of the template.
class TPageInfo {
 public:
  TPageInfo() = default;
  TPageInfo(const TPageInfo&) = delete;
  TPageInfo& operator=(const TPageInfo&) = delete;

  // The title may be replaced (a panel saved by the editor) while pages are made.
  std::u16string PageTitle() const;
  void SetPageTitle(std::u16string value);
  std::int32_t VirtualJoystickId() const { return FVirtualJoystickId; }
  void SetVirtualJoystickId(std::int32_t value) { FVirtualJoystickId = value; }
  std::int32_t WebServerPortNr() const { return FWebServerPortNr; }
  void SetWebServerPortNr(std::int32_t value) { FWebServerPortNr = value; }

  // The model in use: a snapshot that is never changed. A page request takes it whole, so
  // replacing the model (a panel loaded or saved) never mixes two panels in one page.
  std::shared_ptr<const TPageModel> Model() const;
  void SetModel(std::shared_ptr<const TPageModel> AModel);
  // Rises whenever another model is put in use, so open pages can reload themselves.
  std::uint64_t ModelVersion() const { return FModelVersion; }

  // The joystick choice "No joystick (keys only)": the joystick routes then do nothing.
  bool NoJoystick() const { return FNoJoystick; }
  void SetNoJoystick(bool value) { FNoJoystick = value; }

  // The panel file the model in use was read from (empty: the built-in page), and the file
  // the panel editor saves to (empty: saving is not possible). The window and the headless
  // service each set both where they put a panel in use.
  std::u16string PanelFile() const;
  void SetPanelFile(std::u16string AFileName);
  std::u16string PanelSaveFile() const;
  void SetPanelSaveFile(std::u16string AFileName);

  // The button panel of the model in use.
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
  // the lines written out as bytes. The companion files are read on every call, outside the
  // request lock. The last page is kept with what it was made of (template bytes, title, the
  // loads of both companion files, the model snapshot); a request made of the same things gets
  // its bytes back instead of filling the template again. Of requests that overlap, one whose
  // read began before the read the lines already hold uses those newer lines.
  std::shared_ptr<const std::string> AssemblePage(const std::u16string& ABaseDir, std::string ATemplate);
  // Serialises page requests: AssemblePage holds it, and so must a caller that calls
  // LoadExternalFiles and ReplaceStrings itself, across both, because the reload replaces
  // the lines that the filling reads.
  std::mutex& RequestLock() { return FRequestLock; }

 private:
  // What a page was made of: equal sources give equal bytes.
  struct TPageSources {
    std::string Template;
    std::u16string PageTitle;
    std::uint64_t ScriptLoads = 0;
    std::uint64_t StylesLoads = 0;
    std::shared_ptr<const TPageModel> Model;
    bool operator==(const TPageSources&) const = default;
  };
  // The last assembled page and its sources.
  struct TAssembledPage {
    TPageSources Sources;
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

  void ReplaceStrings(TStrings& ALines, const TPageModel& AModel) const;

  std::u16string FPageTitle;  // guarded by FModelLock
  std::int32_t FVirtualJoystickId = 0;
  std::int32_t FWebServerPortNr = 0;
  mutable std::mutex FModelLock;  // guards FModel, which a save may replace during requests
  std::shared_ptr<const TPageModel> FModel = std::make_shared<const TPageModel>();
  std::atomic<std::uint64_t> FModelVersion{0};
  std::atomic<bool> FNoJoystick{false};
  std::u16string FPanelFile;      // guarded by FModelLock
  std::u16string FPanelSaveFile;  // guarded by FModelLock
  // Declared in construction order; destroyed in reverse, the script first.
  TStrings FStyles;
  TStrings FScript;
  // Guards FScript, FStyles and the state below during page requests. FReadsBegun is counted
  // without it.
  std::mutex FRequestLock;
  TCompanionFile FStylesFile{FStyles};
  TCompanionFile FScriptFile{FScript};
  std::atomic<std::uint64_t> FReadsBegun{0};
  std::optional<TAssembledPage> FLastPage;
};

// The process-wide page object, built with the built-in page and the defaults (device 2,
// port 8080) on the first call. The first call belongs on the main thread, before the HTTP
// service runs.
TPageInfo& GetPageInfo();
// The program's exit: destroys the page object; a later GetPageInfo builds a new one.
void FreePageInfo();
