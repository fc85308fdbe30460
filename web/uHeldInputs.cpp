#include "web/uHeldInputs.h"

#include <algorithm>

#include "joystick/vJoyClass.h"
#include "keys/uSendKeys.h"

namespace {

// How often the watch looks for silent pages while one holds something.
constexpr auto kWatchInterval = std::chrono::milliseconds(250);
// At Stop and exit, how long the key releases may take to play.
constexpr auto kReleaseWait = std::chrono::seconds(2);

}  // namespace

THeldInputs::THeldInputs(TReleaser AReleaser, std::function<std::chrono::steady_clock::time_point()> AClock)
    : FReleaser(std::move(AReleaser)), FClock(std::move(AClock)) {}

THeldInputs::~THeldInputs() {
  {
    std::lock_guard lock(FLock);
    FStopping = true;
  }
  FWake.notify_all();
  if (FWatcher.joinable()) FWatcher.join();
}

THeldInputs::TPage& THeldInputs::PageLocked(const std::string& APage, const std::string& ADevice) {
  TPage& page = FPages[APage];
  if (!ADevice.empty()) page.Device = ADevice;
  return page;
}

void THeldInputs::KeysDown(const std::string& APage, const std::string& ADevice, const std::u16string& AKey,
                           const std::u16string& ASequence) {
  {
    std::lock_guard lock(FLock);
    TPage& page = PageLocked(APage, ADevice);
    page.Keys[AKey] = ASequence;
    page.LastHeard = FClock();
  }
  FWake.notify_all();
}

std::u16string THeldInputs::KeysUp(const std::string& APage, const std::u16string& AKey) {
  std::lock_guard lock(FLock);
  const auto page = FPages.find(APage);
  if (page == FPages.end()) return {};
  page->second.LastHeard = FClock();
  const auto key = page->second.Keys.find(AKey);
  if (key == page->second.Keys.end()) return {};
  std::u16string sequence = key->second;
  page->second.Keys.erase(key);
  return sequence;
}

void THeldInputs::ButtonsDown(const std::string& APage, const std::string& ADevice,
                              const std::vector<std::uint8_t>& AButtons) {
  {
    std::lock_guard lock(FLock);
    TPage& page = PageLocked(APage, ADevice);
    page.Buttons.insert(AButtons.begin(), AButtons.end());
    page.LastHeard = FClock();
  }
  FWake.notify_all();
}

void THeldInputs::ButtonsUp(const std::string& APage, const std::vector<std::uint8_t>& AButtons) {
  std::lock_guard lock(FLock);
  // A button released by anyone is up, whoever pressed it.
  for (auto& [id, page] : FPages)
    for (const std::uint8_t button : AButtons) page.Buttons.erase(button);
  if (const auto page = FPages.find(APage); page != FPages.end()) page->second.LastHeard = FClock();
}

void THeldInputs::Heard(const std::string& APage, const std::string& ADevice) {
  if (APage.empty()) return;
  {
    std::lock_guard lock(FLock);
    TPage& page = PageLocked(APage, ADevice);
    page.Watched = true;
    page.LastHeard = FClock();
    if (!FWatcher.joinable()) FWatcher = std::thread([this] { Watch(); });
  }
  FWake.notify_all();
}

int THeldInputs::StreamOpened(const std::string& APage) {
  Heard(APage, {});
  std::lock_guard lock(FLock);
  TPage& page = FPages[APage];
  ++page.Streams;
  return ++page.NewestStream;
}

void THeldInputs::StreamClosed(const std::string& APage) {
  std::vector<std::u16string> keys;
  std::vector<std::uint8_t> buttons;
  {
    std::lock_guard lock(FLock);
    const auto page = FPages.find(APage);
    if (page == FPages.end()) return;
    // A page that opens its stream again before the old one has ended is still there.
    if (--page->second.Streams > 0) return;
    ReleasePageLocked(page->second, keys, buttons);
  }
  Release(keys, buttons);
}

void THeldInputs::DeviceForgotten(const std::string& ADevice) {
  std::vector<std::u16string> keys;
  std::vector<std::uint8_t> buttons;
  {
    std::lock_guard lock(FLock);
    // Clients that are no page (scripts, each with a key of its own) share one entry: their
    // presses stay until they release them, or until Stop.
    for (auto& [id, page] : FPages)
      if (!id.empty() && page.Device == ADevice) ReleasePageLocked(page, keys, buttons);
  }
  Release(keys, buttons);
}

void THeldInputs::ReleaseAll() {
  std::vector<std::u16string> keys;
  std::vector<std::uint8_t> buttons;
  {
    std::lock_guard lock(FLock);
    for (auto& [id, page] : FPages) ReleasePageLocked(page, keys, buttons);
  }
  Release(keys, buttons);
}

bool THeldInputs::TakeReleasedNote(const std::string& APage, int AStream) {
  std::lock_guard lock(FLock);
  const auto page = FPages.find(APage);
  return page != FPages.end() && page->second.NewestStream == AStream && std::exchange(page->second.ReleasedNote, false);
}

std::size_t THeldInputs::HeldCount() const {
  std::lock_guard lock(FLock);
  std::size_t count = 0;
  for (const auto& [id, page] : FPages) count += page.Keys.size() + page.Buttons.size();
  return count;
}

bool THeldInputs::HeldElsewhereLocked(const TPage& AExcept, const std::u16string* ASequence,
                                      const std::uint8_t* AButton) const {
  for (const auto& [id, page] : FPages) {
    if (&page == &AExcept) continue;
    if (ASequence && std::any_of(page.Keys.begin(), page.Keys.end(),
                                 [ASequence](const auto& key) { return key.second == *ASequence; }))
      return true;
    if (AButton && page.Buttons.count(*AButton) > 0) return true;
  }
  return false;
}

void THeldInputs::ReleasePageLocked(TPage& APage, std::vector<std::u16string>& AKeys,
                                    std::vector<std::uint8_t>& AButtons) {
  if (!APage.Keys.empty() || !APage.Buttons.empty()) APage.ReleasedNote = true;
  // What another page holds too stays down for that page.
  for (const auto& [key, sequence] : APage.Keys)
    if (!HeldElsewhereLocked(APage, &sequence, nullptr) &&
        std::find(AKeys.begin(), AKeys.end(), sequence) == AKeys.end())
      AKeys.push_back(sequence);
  for (const std::uint8_t button : APage.Buttons)
    if (!HeldElsewhereLocked(APage, nullptr, &button) &&
        std::find(AButtons.begin(), AButtons.end(), button) == AButtons.end())
      AButtons.push_back(button);
  APage.Keys.clear();
  APage.Buttons.clear();
}

void THeldInputs::Release(const std::vector<std::u16string>& AKeys, const std::vector<std::uint8_t>& AButtons) {
  for (const std::u16string& sequence : AKeys)
    if (FReleaser.KeysUp) FReleaser.KeysUp(sequence);
  for (const std::uint8_t button : AButtons)
    if (FReleaser.ButtonUp) FReleaser.ButtonUp(button);
}

void THeldInputs::Watch() {
  std::unique_lock lock(FLock);
  while (!FStopping) {
    const auto holding = [this] {
      return std::any_of(FPages.begin(), FPages.end(), [](const auto& entry) {
        return entry.second.Watched && (!entry.second.Keys.empty() || !entry.second.Buttons.empty());
      });
    };
    // Asleep while no watched page holds anything: nothing to release.
    if (!holding()) {
      FWake.wait(lock, [&] { return FStopping || holding(); });
      continue;
    }
    FWake.wait_for(lock, kWatchInterval, [this] { return FStopping; });
    if (FStopping) break;
    std::vector<std::u16string> keys;
    std::vector<std::uint8_t> buttons;
    const auto now = FClock();
    for (auto& [id, page] : FPages)
      if (page.Watched && now - page.LastHeard >= kSilence) ReleasePageLocked(page, keys, buttons);
    if (keys.empty() && buttons.empty()) continue;
    lock.unlock();
    Release(keys, buttons);
    lock.lock();
  }
}

THeldInputs& GetHeldInputs() {
  static THeldInputs held(TReleaser{
      [](const std::u16string& ASequence) { StartKeySequence(ASequence, {skUp}); },
      [](std::uint8_t AButton) {
        // A joystick that cannot be made (its versions differ) pressed nothing either.
        try {
          GetvJoy().ButtonUp(AButton);
        } catch (...) {
        }
      }});
  return held;
}

void ReleaseEverythingHeld() {
  GetHeldInputs().ReleaseAll();
  WaitForKeySequences(kReleaseWait);
}
