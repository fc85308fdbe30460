#pragma once
// Waits for a condition that other threads or processes bring about: asks it again every
// few milliseconds until it holds or a generous deadline has passed, so a loaded machine
// only makes the wait longer, never the verdict different.

#include <chrono>
#include <thread>

template <class TCondition>
bool WaitUntil(TCondition ACondition, std::chrono::milliseconds ADeadline = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + ADeadline;
  while (!ACondition()) {
    if (std::chrono::steady_clock::now() >= end) return ACondition();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
