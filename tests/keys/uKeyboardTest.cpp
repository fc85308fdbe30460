#include "keys/uKeyboard.h"

#include <gtest/gtest.h>

#include "keys/uKeyboardRecorder.h"
#include "tests/keys/KeysTestSupport.h"

namespace {

TEST(TKeyboardRecorder, PrintsEachEventAndEachNumLockFlipAsALine) {
  TKeyboardRecorder keyboard(false);
  std::vector<std::string> lines;
  keyboard.SetListener([&lines](const std::string& line) { lines.push_back(line); });
  keyboard.keybd_event(0x41, 30, 0, 13);
  keyboard.keybd_event(0x25, 75, 3, 13);
  keyboard.keybd_event(0xDB, 26, 2, 13);
  keyboard.keybd_event(0x0D, 28, 0, 4294967295u);
  std::uint8_t state[256] = {};
  keyboard.SetKeyboardState(state);  // no change: no line
  state[0x90] = 0x01;
  keyboard.SetKeyboardState(state);
  state[0x90] = 0x81;  // the down bit alone is not a flip
  keyboard.SetKeyboardState(state);
  state[0x90] = 0x00;
  keyboard.SetKeyboardState(state);
  keyboard.Sleep(5);
  keyboard.GetKeyState(0x90);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "key vk=0x41 scan=30 flags=0 extra=13",
                       "key vk=0x25 scan=75 flags=3 extra=13",
                       "key vk=0xDB scan=26 flags=2 extra=13",
                       "key vk=0x0D scan=28 flags=0 extra=4294967295",
                       "numlock on",
                       "numlock off",
                   }));
}

TEST(TKeyboardRecorder, WithoutHistoryTheListenerStillGetsEveryLine) {
  TKeyboardRecorder keyboard(false);
  std::vector<std::string> lines;
  keyboard.SetListener([&lines](const std::string& line) { lines.push_back(line); });
  keyboard.VkKeyScanW(u'a');
  keyboard.SetKeepCalls(false);  // drops what was kept so far
  EXPECT_TRUE(keyboard.Calls().empty());
  for (int i = 0; i < 1000; ++i) keyboard.keybd_event(0x41, 30, 0, 13);
  std::uint8_t state[256] = {};
  state[0x90] = 0x01;
  keyboard.SetKeyboardState(state);
  EXPECT_TRUE(keyboard.Calls().empty());
  EXPECT_EQ(lines.size(), 1001u);
  EXPECT_EQ(lines.back(), "numlock on");
  EXPECT_TRUE(keyboard.NumLockOn());
  keyboard.SetKeepCalls(true);
  keyboard.keybd_event(0x41, 30, 2, 13);
  EXPECT_EQ(keyboard.Events(), (std::vector<TKeyEvent>{{0x41, 30, 2, 13}}));
}

TEST(TKeyboardRecorder, KeepsEveryCallInOrder) {
  TKeyboardRecorder keyboard(false);
  EXPECT_EQ(keyboard.VkKeyScanW(u'A'), 0x0141);
  EXPECT_EQ(keyboard.MapVirtualKeyW(0x41, 0), 30u);
  EXPECT_EQ(keyboard.MapVirtualKeyW(0x41, 1), 0u);  // only the VK-to-scan-code map is known
  keyboard.keybd_event(0x41, 30, 0, 13);
  keyboard.Sleep(7);
  const auto calls = keyboard.Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].Kind, TKeyCallKind::VkKeyScan);
  EXPECT_EQ(calls[0].Vk, u'A');
  EXPECT_EQ(calls[1].Kind, TKeyCallKind::MapVirtualKey);
  EXPECT_EQ(calls[3].Kind, TKeyCallKind::Event);
  EXPECT_EQ(calls[4].Kind, TKeyCallKind::Sleep);
  EXPECT_EQ(calls[4].Value, 7u);
  keyboard.Clear();
  EXPECT_TRUE(keyboard.Calls().empty());
}

TEST(TKeyStateArray, TracksDownKeysAndLockToggles) {
  TKeyStateArray state;
  state.KeyEvent(0x41, false);
  EXPECT_EQ(static_cast<std::uint16_t>(state.KeyState(0x41)), 0x8000u);
  state.KeyEvent(0x41, true);
  EXPECT_EQ(state.KeyState(0x41), 0);
  state.KeyEvent(0x14, false);
  state.KeyEvent(0x14, false);  // held: toggles once
  state.KeyEvent(0x14, true);
  EXPECT_EQ(state.KeyState(0x14), 1);
  EXPECT_EQ(state.KeyState(-1), 0);
  EXPECT_EQ(state.KeyState(256), 0);
  std::uint8_t bytes[256] = {};
  bytes[0x90] = 1;
  state.Set(bytes);
  EXPECT_EQ(state.KeyState(0x14), 0);
  EXPECT_EQ(state.KeyState(0x90), 1);
}

TEST(ProcessKeyboard, SelectedKeyboardIsTheOneWorkersGet) {
  auto recorder = std::make_unique<TKeyboardRecorder>(false);
  TKeyboard* selected = recorder.get();
  SelectKeyboard(std::move(recorder));
  EXPECT_EQ(GetKeyboard().get(), selected);
  EXPECT_EQ(KeyboardOutputName(), u"recorder");
  EXPECT_TRUE(HasKeyboardOutput());
  std::shared_ptr<TKeyboard> kept = GetKeyboard();
  SelectKeyboard(std::make_unique<TKeyboardRecorder>(false));
  EXPECT_EQ(kept.use_count(), 1);  // still alive for whoever holds it
  EXPECT_NE(GetKeyboard().get(), selected);
}

}  // namespace
