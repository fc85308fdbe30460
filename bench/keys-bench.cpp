// Google Benchmark: the key-sequence player's own cost. A long sequence (thousands of keys:
// plain characters, shifted characters, named keys with repeat counts, modifier prefixes and
// groups) is played on the calling thread into the recorder keyboard, whose Sleep only records
// and returns, so configured delays cost nothing here and what is measured is the player
// with the recorder beneath it.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "keys/uKeyboard.h"
#include "keys/uKeyboardRecorder.h"
#include "keys/uSendKeys.h"
#include "tests/support/KeySequencePlayer.h"

namespace {

// One round of the long sequence: 15 pieces of the language.
constexpr std::u16string_view kRound =
    u"abc XYZ 123 {LEFT 3}{RIGHT 2}+a^{F4}%(fx)+(hello){ENTER 2}~{TAB}#<a^>{DEL}{BACKSPACE 2}{PGDN}&{F12 3}";

std::u16string LongSequence(int ARounds) {
  std::u16string sequence;
  for (int i = 0; i < ARounds; ++i) sequence += kRound;
  return sequence;
}

// Plays ASequence once, on the calling thread, into a fresh recorder, and hands it back.
std::shared_ptr<TKeyboardRecorder> PlayOnce(const std::u16string& ASequence, std::int32_t ADelayModifiers,
                                            std::int32_t ADelayKeys) {
  auto recorder = std::make_shared<TKeyboardRecorder>(false);
  PlayKeySequence(recorder, ASequence, {skDown, skUp}, ADelayModifiers, ADelayKeys);
  return recorder;
}

// Arguments: rounds of the sequence, key delay (ms), modifier delay (ms). The events are
// counted outside the timed loop.
void BM_PlayLongSequence(benchmark::State& state) {
  const auto rounds = static_cast<std::size_t>(state.range(0));
  const std::u16string sequence = LongSequence(static_cast<int>(rounds));
  const auto delayKeys = static_cast<std::int32_t>(state.range(1));
  const auto delayModifiers = static_cast<std::int32_t>(state.range(2));
  const std::size_t events = PlayOnce(sequence, delayModifiers, delayKeys)->Events().size();
  // A sequence that stopped early (a bad key name) would send fewer events than its rounds.
  if (events != PlayOnce(std::u16string(kRound), 0, 0)->Events().size() * rounds)
    state.SkipWithError("the sequence did not play to its end");
  for (auto _ : state) benchmark::DoNotOptimize(PlayOnce(sequence, delayModifiers, delayKeys).get());
  state.counters["chars"] = static_cast<double>(sequence.size());
  state.counters["events"] = static_cast<double>(events);
  state.counters["events/s"] =
      benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PlayLongSequence)
    ->ArgNames({"rounds", "delayKeys", "delayMods"})
    ->Args({1, 0, 0})
    ->Args({100, 0, 0})
    ->Args({100, 10, 5})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  // A worker takes the process-wide keyboard when it is created; with the recorder chosen
  // first, none of them reaches the real keyboard.
  SelectKeyboard(std::make_unique<TKeyboardRecorder>(false));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
