#include "game/uGameState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "tests/support/Latch.h"

namespace {

using namespace std::chrono_literals;

TEST(TGameState, SetStoresOnlyWhatChangesAndWhatIsValid) {
  TGameState state;
  int calls = 0;
  state.AddListener([&] { ++calls; });
  const std::string cut = std::string(255, 'a') + "\xC3\xA9";  // "é" across the 256-byte limit
  // A value set, the state's version afterwards, and what the name holds afterwards.
  struct Step { std::string name; TStateData value; std::uint64_t version; std::optional<TStateData> stored; } steps[] = {
      {"x.a", true, 1, true},
      {"x.a", true, 1, true},             // the same value: no change
      {"x.a", 1.0, 2, 1.0},               // another kind is a change
      {"x.a", std::nan(""), 2, 1.0},      // not finite: ignored
      {"x.b", cut, 3, std::string(255, 'a')},
      {"bad name", true, 3, std::nullopt},
      {"", true, 3, std::nullopt},
      {"x.\xC3\xA9", true, 3, std::nullopt},
      {std::string(129, 'n'), true, 3, std::nullopt},
  };
  for (const Step& step : steps) {
    state.Set(step.name, step.value);
    EXPECT_EQ(state.Version(), step.version) << step.name;
    const auto got = state.Get(step.name);
    EXPECT_EQ(got ? std::optional(got->Data) : std::nullopt, step.stored) << step.name;
  }
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(state.Get("x.a")->Version, 2u);
  state.Remove("x.none");
  state.Remove("x.a");
  EXPECT_EQ(state.Version(), 4u);
  EXPECT_FALSE(state.Get("x.a"));
}

TEST(TGameState, ReplacePrefixIsOneChangeThatKeepsUnchangedValues) {
  TGameState state;
  state.Set("a.keep", 1.0);
  state.Set("a.gone", true);
  state.Set("b.other", true);
  const TStateValue kept = *state.Get("a.keep");
  int calls = 0;
  state.AddListener([&] { ++calls; });
  state.ReplacePrefix("a.", {{"a.keep", 1.0}, {"a.new", std::string("t")}, {"b.outside", true}});
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(state.Version(), 4u);
  const auto values = state.Snapshot();
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values.at("a.keep").Version, kept.Version);
  EXPECT_EQ(values.at("a.keep").Changed, kept.Changed);
  EXPECT_EQ(values.at("a.new").Version, 4u);
  EXPECT_TRUE(values.contains("b.other"));
  EXPECT_EQ(state.Snapshot("a.").size(), 2u);
  state.ReplacePrefix("a.", {{"a.keep", 1.0}, {"a.new", std::string("t")}});
  EXPECT_EQ(calls, 1);  // nothing changed
  state.ReplacePrefix("a.", {});
  EXPECT_EQ(state.Snapshot().size(), 1u);
  // No more names than the limit.
  std::map<std::string, TStateData> many;
  for (std::size_t i = 0; i <= kMaxStateNames; ++i) many["n." + std::to_string(i)] = true;
  state.ReplacePrefix("n.", many);
  EXPECT_EQ(state.Snapshot().size(), kMaxStateNames);
}

TEST(TGameStateConcurrent, EveryChangeCountsOnceAndListenersMayChangeTheState) {
  TGameState state;
  std::atomic<int> calls{0};
  state.AddListener([&] {
    ++calls;
    state.Set("echo.seen", true);  // a listener that writes back: a change the first time only
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&state, t] {
      for (int i = 1; i <= 100; ++i) state.Set("t" + std::to_string(t) + ".n", static_cast<double>(i));
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(state.Snapshot("t").size(), 4u);
  EXPECT_EQ(calls.load(), 401);
  EXPECT_EQ(state.Version(), 401u);
}

TEST(TGameStateConcurrent, RemoveListenerWaitsForARunningListener) {
  TGameState state;
  TLatch entered(1), release(1);
  std::atomic<bool> finished{false};
  const int id = state.AddListener([&] {
    entered.count_down();
    release.wait_for(10s);
    finished = true;
  });
  std::thread changer([&] { state.Set("a.x", true); });
  ASSERT_TRUE(entered.wait_for(10s));
  // The listener is let go a little later, so that a RemoveListener that did not wait would
  // return first; one that waits passes however the threads are scheduled.
  std::thread releaser([&] {
    std::this_thread::sleep_for(100ms);
    release.count_down();
  });
  state.RemoveListener(id);
  EXPECT_TRUE(finished);
  releaser.join();
  changer.join();
  finished = false;
  state.Set("a.x", false);
  EXPECT_FALSE(finished);  // removed: never called again

  // A listener may remove itself.
  int self = 0, calls = 0;
  self = state.AddListener([&] {
    ++calls;
    state.RemoveListener(self);
  });
  state.Set("a.x", true);
  state.Set("a.x", false);
  EXPECT_EQ(calls, 1);
}

}  // namespace
