#include "web/uLiveSources.h"

#include <chrono>

#include "base/uFiles.h"
#include "base/uText.h"
#include "game/uGameFolders.h"
#include "game/uGameState.h"
#include "page/uPageInfo.h"
#include "web/uEventStreams.h"

namespace {

// "just now", "12 s ago", "3 min ago", "2 h ago".
std::u16string Ago(std::chrono::system_clock::time_point AWhen) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now() - AWhen).count();
  if (seconds < 2) return u"just now";
  if (seconds < 120) return IntToStr(seconds) + u" s ago";
  if (seconds < 7200) return IntToStr(seconds / 60) + u" min ago";
  return IntToStr(seconds / 3600) + u" h ago";
}

std::u16string FileNameOf(const std::u16string& APath) { return APath.substr(ExtractFilePath(APath).size()); }

}  // namespace

TLiveSources::TLiveSources() {
  FStatus = std::make_unique<TStatusFileWatcher>(GetGameState(), [this] { Changed(); });
}

TLiveSources::~TLiveSources() {
  // The watchers end first: their threads call back into this object.
  FStatus.reset();
  FBindings.reset();
  FToggles.reset();
}

void TLiveSources::Changed() {
  {
    std::lock_guard lock(FLock);
    ++FVersion;
  }
  GetEventStreams().WakeAll();
}

std::uint64_t TLiveSources::Version() const {
  std::lock_guard lock(FLock);
  return FVersion;
}

void TLiveSources::SetStatusFolder(const TGameFolderChoice& AChoice) {
  {
    std::lock_guard lock(FLock);
    FStatusChoice = AChoice;
  }
  if (AChoice.Kind == TGameFolderChoice::Automatic)
    FStatus->SetAutomaticFolder();
  else
    FStatus->SetFolder(AChoice.Kind == TGameFolderChoice::Picked ? AChoice.Folder : std::u16string());
  Changed();
}

void TLiveSources::SetBindings(const TGameFolderChoice& AChoice, std::int32_t ADevice) {
  TBindingsSource source;
  source.OurDevices = TapdeckJoystickDevices(ADevice);
  if (AChoice.Kind == TGameFolderChoice::Picked) {
    source.Path = AChoice.Folder;
  } else if (AChoice.Kind == TGameFolderChoice::Automatic) {
    // The first of the game's folders that holds a start file is the game's.
    for (const std::u16string& folder : BindingsFolderCandidates())
      if (FileExists(folder + u"StartPreset.4.start") || FileExists(folder + u"StartPreset.start")) {
        source.Path = folder;
        break;
      }
  }
  FBindings.reset();
  if (AChoice.Kind == TGameFolderChoice::Off)
    GetBindings().Set(std::make_shared<const TBindings>(std::u16string(u"off")));
  else
    FBindings = std::make_unique<TBindingsWatcher>(GetBindings(), source,
                                                   [this](const std::shared_ptr<const TBindings>&) { Changed(); });
  Changed();
}

std::u16string TLiveSources::SetToggleFile(const std::u16string& AFile) {
  FToggles.reset();
  if (AFile.empty()) return {};
  FToggles = std::make_unique<TToggleStore>(GetGameState(), AFile, "cell.");
  return FToggles->Load();
}

TStatusFileInfo TLiveSources::StatusInfo() const { return FStatus->Info(); }

std::u16string TLiveSources::GameLine() const {
  const TStatusFileInfo info = FStatus->Info();
  TGameFolderChoice choice;
  {
    std::lock_guard lock(FLock);
    choice = FStatusChoice;
  }
  if (choice.Kind == TGameFolderChoice::Off) return u"Game: not watched";
  if (!info.FileName.empty()) {
    std::u16string line = u"Game: " + FileNameOf(info.FileName);
    if (info.LastChange) line += u", changed " + Ago(*info.LastChange);
    return line;
  }
  const std::u16string folder = choice.Kind == TGameFolderChoice::Picked ? choice.Folder : info.Folder;
  if (folder.empty()) return u"Game: no status file found (click to pick its folder)";
  return u"Game: no Status.json in " + folder + u" yet";
}

std::u16string TLiveSources::BindingsLine() const {
  const std::shared_ptr<const TBindings> bindings = GetBindings().Current();
  if (!bindings->InUse()) return u"Bindings: " + bindings->Status();
  std::u16string line = u"Bindings: " + FileNameOf(bindings->FileName());
  const std::vector<std::u16string> actions = GetPageInfo().Model()->GameActions();
  if (actions.empty()) return line;
  std::size_t unbound = 0;
  for (const std::u16string& action : actions) {
    const std::string name = Utf16ToUtf8(action);
    const auto binding = bindings->Lookup(name.substr(name.find(':') + 1));
    if (binding && !binding->Bound()) ++unbound;
  }
  if (unbound == 0) return line + u", every action of the panel bound";
  return line + u", " + IntToStr(static_cast<std::int64_t>(unbound)) + u" of the panel's " +
         IntToStr(static_cast<std::int64_t>(actions.size())) + u" actions unbound";
}
