#include "game/uStatusFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "base/uFiles.h"
#include "base/uText.h"
#include "tests/keys/KeysTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

using namespace std::chrono_literals;
using TValues = std::map<std::string, TStateData>;

// The game's file as it writes it in a ship (with the on-foot values added, so every member is
// there once): docked, gear down, shields up, mass-locked, in the main ship.
const std::string kFull = R"({ "timestamp":"2024-03-01T12:03:14Z", "event":"Status", "Flags":16842765,
 "Flags2":0, "Pips":[4,8,0], "FireGroup":1, "GuiFocus":0, "Fuel":{ "FuelMain":32.000000,
 "FuelReservoir":0.630000 }, "Cargo":4.000000, "LegalState":"Clean", "Balance":123456789,
 "Latitude":-12.5, "Longitude":101.25, "Altitude":1200, "Heading":271, "BodyName":"Kepler 3 a",
 "Oxygen":0.9, "Health":1.0, "Temperature":293.5, "Gravity":0.17 })";

TEST(ParseStatusFile, ReadsTheFlagsAndValuesTheFileHolds) {
  struct Case {
    const char* name;
    std::string bytes;
    std::optional<std::size_t> count;  // how many names; nothing: no state at all
    TValues some;                      // some of them
    std::vector<std::string> absent;
  } cases[] = {
      {"the full file", kFull, 83,
       {{"elite.Docked", true}, {"elite.Landed", false}, {"elite.LandingGearDown", true}, {"elite.ShieldsUp", true},
        {"elite.FsdMassLocked", true}, {"elite.InMainShip", true}, {"elite.OnFoot", false}, {"elite.Pips.Sys", 4.0},
        {"elite.Pips.Eng", 8.0}, {"elite.Pips.Wep", 0.0}, {"elite.Fuel.FuelReservoir", 0.63},
        {"elite.LegalState", std::string("Clean")}, {"elite.Balance", 123456789.0}, {"elite.GuiFocus", 0.0}},
       {}},
      {"docked, Flags only", R"({"Flags":1})", 32, {{"elite.Docked", true}, {"elite.Landed", false}},
       {"elite.OnFoot", "elite.Fuel.FuelMain", "elite.Pips.Sys", "elite.Running"}},
      {"bit 31", R"({"Flags":2147483648})", 32, {{"elite.SrvHighBeam", true}, {"elite.FsdJump", false}}, {}},
      {"bit 31 written signed", R"({"Flags":-2147483647})", 32,
       {{"elite.SrvHighBeam", true}, {"elite.Docked", true}}, {}},
      {"unknown Flags2 bits", R"({"Flags2":1048577, "Flags":0})", 64,
       {{"elite.OnFoot", true}, {"elite.Flags2Bit20", true}, {"elite.Flags2Bit21", false},
        {"elite.FsdHyperdriveCharging", false}},
       {}},
      {"wrong types", R"({"Flags":"1", "Flags2":1.5, "Pips":[1,2], "Fuel":{"FuelMain":"x","FuelReservoir":0.5},
         "LegalState":3, "Cargo":true, "GuiFocus":null, "BodyName":"", "Heading":-1e3})",
       3, {{"elite.Fuel.FuelReservoir", 0.5}, {"elite.BodyName", std::string()}, {"elite.Heading", -1000.0}},
       {"elite.Docked", "elite.OnFoot", "elite.Pips.Sys", "elite.LegalState", "elite.Cargo", "elite.GuiFocus"}},
      {"flags out of range", R"({"Flags":4294967296, "Flags2":-2147483649, "Fuel":3})", 0, {}, {}},
      {"the menu: no state but the event", R"({ "timestamp":"2024-03-01T12:03:14Z", "event":"Status" })", 0, {}, {}},
      {"unknown members", R"({"Destination":{"System":1,"Body":2}, "Future":[1,{"a":[]}], "Cargo":2})", 1,
       {{"elite.Cargo", 2.0}}, {}},
      {"empty", "", std::nullopt, {}, {}},
      {"half-written", kFull.substr(0, kFull.size() / 2), std::nullopt, {}, {}},
      {"not JSON", "Status", std::nullopt, {}, {}},
      {"not an object", "[1,2]", std::nullopt, {}, {}},
      {"two objects", "{}{}", std::nullopt, {}, {}},
      {"nested far too deep", std::string(10000, '[') + std::string(10000, ']'), std::nullopt, {}, {}},
  };
  for (const Case& c : cases) {
    const auto values = ParseStatusFile(c.bytes);
    ASSERT_EQ(values.has_value(), c.count.has_value()) << c.name;
    if (!values) continue;
    EXPECT_EQ(values->size(), *c.count) << c.name;
    for (const auto& [name, value] : c.some) EXPECT_EQ(values->at(name), value) << c.name << " " << name;
    for (const std::string& name : c.absent) EXPECT_FALSE(values->contains(name)) << c.name << " " << name;
  }
}

TEST(EliteStateNames, ListsEveryNameTheFileCanGiveWithItsKind) {
  const auto& names = EliteStateNames();
  std::map<std::string, TStateKind> kinds;
  for (const TStateName& name : names) kinds[name.Name] = name.Kind;
  ASSERT_EQ(kinds.size(), names.size()) << "a name is listed twice";
  EXPECT_EQ(kinds.at(kEliteRunning), TStateKind::Bool);
  // The full file gives every name but elite.Running.
  const auto values = ParseStatusFile(kFull);
  ASSERT_EQ(values->size() + 1, names.size());
  for (const auto& [name, value] : *values) {
    ASSERT_TRUE(kinds.contains(name)) << name;
    EXPECT_EQ(static_cast<std::size_t>(kinds.at(name)), value.index()) << name;
  }
}

// Waits for a condition on the state or the watcher, woken by each change of either.
class TWaiter {
 public:
  void Notify() {
    std::lock_guard lock(FLock);
    FChanged.notify_all();
  }
  bool WaitFor(const std::function<bool()>& ACondition) {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, 20s, ACondition);
  }

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
};

// The "elite." names of the state, elite.Running left out.
TValues Elite(const TGameState& AState) {
  TValues values;
  for (const auto& [name, value] : AState.Snapshot(kElitePrefix))
    if (name != kEliteRunning) values[name] = value.Data;
  return values;
}

bool Running(const TGameState& AState) {
  const auto running = AState.Get(kEliteRunning);
  return running && running->Data == TStateData(true);
}

std::vector<std::u16string> NoCandidates() { return {}; }

TEST(TStatusFileWatcher, FollowsAFakeGameAndKeepsTheLastGoodStateOverItsBadWrites) {
  TLogWatch log;  // every report that reaches the log
  TempDir game;
  const std::u16string file = game.File("Status.json");
  TGameState state;
  TWaiter waiter;
  std::vector<TValues> seen;  // each different state the listener met, in order
  std::mutex seenLock;
  state.AddListener([&] {
    {
      std::lock_guard lock(seenLock);
      if (TValues now = Elite(state); seen.empty() || seen.back() != now) seen.push_back(std::move(now));
    }
    waiter.Notify();
  });
  TStatusFileWatcher watcher(state, [&] { waiter.Notify(); }, NoCandidates);
  watcher.SetFolder(game.Base());

  // The game replaces the whole file: a temporary file renamed over it.
  ReplaceFileBytes(file, kFull);
  const TValues first = *ParseStatusFile(kFull);
  // The state comes first, then what the watcher tells of the file.
  ASSERT_TRUE(waiter.WaitFor([&] { return Elite(state) == first && Running(state) && !watcher.Info().FileName.empty(); }));
  EXPECT_EQ(watcher.Info().FileName, file);
  EXPECT_TRUE(watcher.Info().LastChange);

  // Caught mid-write: empty, then half of the file; then gone.
  game.Write("Status.json", "");
  ASSERT_TRUE(waiter.WaitFor([&] { return watcher.Info().BadReads > 0; }));
  const unsigned badReads = watcher.Info().BadReads;
  game.Write("Status.json", kFull.substr(0, 100));
  ASSERT_TRUE(waiter.WaitFor([&] { return watcher.Info().BadReads > badReads; }));
  game.Remove("Status.json");
  ASSERT_TRUE(waiter.WaitFor([&] { return watcher.Info().FileName.empty(); }));
  EXPECT_EQ(Elite(state), first);
  EXPECT_TRUE(Running(state));

  // A newer game: a flag and a Flags2 bit this program has no name for, and a new member.
  const std::string newer = R"({"event":"Status","Flags":2147483652,"Flags2":33554432,"Pips":[2,4,6],"Hull":[1]})";
  ReplaceFileBytes(file, newer);
  const TValues second = *ParseStatusFile(newer);
  ASSERT_TRUE(waiter.WaitFor([&] { return Elite(state) == second; }));
  EXPECT_EQ(std::get<bool>(second.at("elite.Flags2Bit25")), true);
  EXPECT_EQ(watcher.Info().BadReads, 0u);

  // The bad writes never reached the state.
  {
    std::lock_guard lock(seenLock);
    EXPECT_EQ(seen, (std::vector<TValues>{{}, first, second}));
  }
  // Another folder (none here) leaves only elite.Running, false.
  watcher.SetFolder(u"");
  ASSERT_TRUE(waiter.WaitFor([&] { return state.Snapshot(kElitePrefix).size() == 1 && !Running(state); }));
  EXPECT_TRUE(log.Messages().empty());
}

TEST(TStatusFileWatcher, TheAutomaticChoiceFindsAGameStartedLaterAndRunningFollowsTheFilesTime) {
  TempDir root;
  const std::u16string early = root.Base() + u"early" + PathDelimiter(), late = root.Base() + u"late" + PathDelimiter();
  TGameState state;
  TWaiter waiter;
  state.AddListener([&] { waiter.Notify(); });
  TStatusFileWatcher watcher(state, [&] { waiter.Notify(); }, [&] { return std::vector{early, late}; });
  // The first folder that exists, while none holds the file...
  std::filesystem::create_directories(root.Path() / "early");
  watcher.SetAutomaticFolder();
  ASSERT_TRUE(waiter.WaitFor([&] { return watcher.Info().Folder == early; }));
  EXPECT_TRUE(watcher.Info().FileName.empty());
  // ...until one does: found at the next look round. Its file was written two minutes ago, so
  // the game is not running; until the game writes it again.
  std::filesystem::create_directories(root.Path() / "late");
  const auto staged = root.Path() / "late" / "staged";
  std::ofstream(staged) << R"({"Flags":1})";
  std::filesystem::last_write_time(staged, std::filesystem::file_time_type::clock::now() - 2min);
  std::filesystem::rename(staged, root.Path() / "late" / "Status.json");
  ASSERT_TRUE(waiter.WaitFor([&] {
    return watcher.Info().Folder == late && state.Get("elite.Docked") && !watcher.Info().Running;
  }));
  EXPECT_FALSE(Running(state));
  ReplaceFileBytes(late + u"Status.json", R"({"Flags":0})");
  ASSERT_TRUE(waiter.WaitFor([&] { return Running(state) && watcher.Info().Running; }));
}

}  // namespace
