#pragma once
// What requests have pressed and not yet released: key sequences (pressed by a down route) and
// joystick buttons, each noted with the control page that pressed it. A key or button left
// down is the worst thing this program can do to a game, so whatever a page holds is released
// when the page is gone (its stream closed, two seconds without a word from it, its device
// forgotten), and whatever anybody holds at Stop and at exit.
//
// A page names itself in the Tapdeck-Page header of its requests. A client that sends none
// (a script, curl) is no control page: its presses stay until it releases them, or until Stop.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// The request header by which a control page names itself.
inline constexpr std::string_view kPageHeader = "Tapdeck-Page";

// How a held input is let go; the program's own: keys go up through the ordered key path,
// buttons through the joystick object.
struct TReleaser {
  std::function<void(const std::u16string& ASequence)> KeysUp;
  std::function<void(std::uint8_t AButton)> ButtonUp;
};

class THeldInputs {
 public:
  static constexpr auto kSilence = std::chrono::seconds(2);

  explicit THeldInputs(TReleaser AReleaser, std::function<std::chrono::steady_clock::time_point()> AClock =
                                                std::chrono::steady_clock::now);
  // Stops the watch; releases nothing (ReleaseAll does, at Stop and exit).
  ~THeldInputs();
  THeldInputs(const THeldInputs&) = delete;
  THeldInputs& operator=(const THeldInputs&) = delete;

  // A down or up route ran for APage (empty: a client that is no page) of device ADevice
  // (empty in open mode without a credential). AKey names what was pressed: the sequence, or
  // "action:<name>" for a game action, whose pressed sequence is kept so that its release
  // lets go of what was pressed even when the bindings changed in between.
  void KeysDown(const std::string& APage, const std::string& ADevice, const std::u16string& AKey,
                const std::u16string& ASequence);
  // The sequence that AKey pressed and that is to be released now (the one noted at the press,
  // or nothing when none is noted); the note ends.
  std::u16string KeysUp(const std::string& APage, const std::u16string& AKey);
  void ButtonsDown(const std::string& APage, const std::string& ADevice, const std::vector<std::uint8_t>& AButtons);
  void ButtonsUp(const std::string& APage, const std::vector<std::uint8_t>& AButtons);

  // The page was heard from (a heartbeat, any request): it counts as a control page from now
  // on, and is gone after kSilence without a word.
  void Heard(const std::string& APage, const std::string& ADevice);
  // A stream of the page opened; its number among the page's streams, the newest highest.
  int StreamOpened(const std::string& APage);
  // Its stream closed: the page is gone.
  void StreamClosed(const std::string& APage);
  // The device's pairing was forgotten: its pages are gone.
  void DeviceForgotten(const std::string& ADevice);
  // Stop and exit: everything anybody holds.
  void ReleaseAll();
  // Whether the server let go of something this page held since it last asked (so the page
  // can say so when it comes back); asking clears it. Only the page's newest stream may ask:
  // an older one may be a dead connection that nobody reads any more.
  bool TakeReleasedNote(const std::string& APage, int AStream);

  // What is held now, for tests and the window: keys and buttons.
  std::size_t HeldCount() const;

 private:
  struct TPage {
    std::string Device;
    std::map<std::u16string, std::u16string> Keys;  // key -> the sequence it pressed
    std::set<std::uint8_t> Buttons;
    std::chrono::steady_clock::time_point LastHeard{};
    bool Watched = false;  // a control page: heartbeats or a stream
    int Streams = 0;
    int NewestStream = 0;
    bool ReleasedNote = false;
  };

  TPage& PageLocked(const std::string& APage, const std::string& ADevice);
  // Lets go of what APage holds (what no other page holds too); the page stays known.
  void ReleasePageLocked(TPage& APage, std::vector<std::u16string>& AKeys, std::vector<std::uint8_t>& AButtons);
  void Release(const std::vector<std::u16string>& AKeys, const std::vector<std::uint8_t>& AButtons);
  bool HeldElsewhereLocked(const TPage& AExcept, const std::u16string* ASequence, const std::uint8_t* AButton) const;
  void Watch();

  const TReleaser FReleaser;
  const std::function<std::chrono::steady_clock::time_point()> FClock;
  mutable std::mutex FLock;
  std::condition_variable FWake;
  std::map<std::string, TPage> FPages;
  bool FStopping = false;
  std::thread FWatcher;  // started with the first page that needs watching
};

// The program's own, releasing through the ordered key path and the joystick object.
THeldInputs& GetHeldInputs();
// Stop and exit: releases everything held and waits (a bounded time) until the keys are up.
void ReleaseEverythingHeld();
