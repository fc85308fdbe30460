#include "tests/support/KeyboardWatch.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

// Passes every call on to the watched keyboard and tells the watch when it ends.
class TStandIn final : public TKeyboard {
 public:
  TStandIn(std::shared_ptr<TKeyboard> AKeyboard, std::shared_ptr<TLatch> AGone)
      : fKeyboard(std::move(AKeyboard)), fGone(std::move(AGone)) {}
  ~TStandIn() override { fGone->count_down(); }

  void keybd_event(std::uint8_t bVk, std::uint8_t bScan, std::uint32_t dwFlags, std::uintptr_t dwExtraInfo) override {
    fKeyboard->keybd_event(bVk, bScan, dwFlags, dwExtraInfo);
  }
  std::uint32_t MapVirtualKeyW(std::uint32_t uCode, std::uint32_t uMapType) override {
    return fKeyboard->MapVirtualKeyW(uCode, uMapType);
  }
  std::uint16_t VkKeyScanW(char16_t ch) override { return fKeyboard->VkKeyScanW(ch); }
  std::int16_t GetKeyState(std::int32_t nVirtKey) override { return fKeyboard->GetKeyState(nVirtKey); }
  bool GetKeyboardState(std::uint8_t lpKeyState[256]) override { return fKeyboard->GetKeyboardState(lpKeyState); }
  bool SetKeyboardState(const std::uint8_t lpKeyState[256]) override {
    return fKeyboard->SetKeyboardState(lpKeyState);
  }
  void Sleep(std::uint32_t dwMilliseconds) override { fKeyboard->Sleep(dwMilliseconds); }
  std::u16string OutputName() const override { return fKeyboard->OutputName(); }
  bool HasOutput() const override { return fKeyboard->HasOutput(); }

 private:
  const std::shared_ptr<TKeyboard> fKeyboard;
  const std::shared_ptr<TLatch> fGone;
};

}  // namespace

TKeyboardWatch::TKeyboardWatch(std::shared_ptr<TKeyboard> AKeyboard) : FKeyboard(std::move(AKeyboard)) {
  SelectStandIn();
}

TKeyboardWatch::~TKeyboardWatch() { WaitForWorkers(); }

void TKeyboardWatch::SelectStandIn() {
  FStandInGone = std::make_shared<TLatch>(1);
  SelectKeyboard(std::make_unique<TStandIn>(FKeyboard, FStandInGone));
  FStandIn = GetKeyboard();
}

void TKeyboardWatch::WaitForWorkers() {
  const std::shared_ptr<TLatch> gone = FStandInGone;
  // The chooser lets go of the old stand-in here; the workers that hold it keep it until
  // they are destroyed.
  SelectStandIn();
  if (!gone->wait_for(std::chrono::minutes(1))) {
    std::fputs("TKeyboardWatch: a key-sequence worker (or a kept copy of the keyboard) never let go\n", stderr);
    std::abort();
  }
}

int TKeyboardWatch::LiveWorkers() const {
  // The chooser holds one reference; every worker created with the stand-in holds another.
  return static_cast<int>(FStandIn.use_count()) - 1;
}
