#include "game/uToggleStore.h"

#include <gtest/gtest.h>

#include "base/uFiles.h"
#include "tests/support/TempDir.h"

namespace {

TEST(TToggleStore, TogglesSurviveARestart) {
  TempDir user;
  const std::u16string file = user.File("sub/toggles.json");
  {
    TGameState state;
    TToggleStore store(state, file, "cell.");
    EXPECT_EQ(store.Load(), u"");  // no file yet
    EXPECT_FALSE(FileExists(file));
    state.Set("cell.gear", true);
    state.Set("cell.lights", false);
    state.Set("cell.count", 3.0);    // not an on/off state
    state.Set("elite.Docked", true);  // not under the prefix
    state.Set("cell.gone", true);
    state.Remove("cell.gone");
    EXPECT_EQ(ReadFileBytes(file), "{\n  \"cell.gear\": true,\n  \"cell.lights\": false\n}\n");
    EXPECT_EQ(store.LastError(), u"");
  }
  // The next run; the file also holds entries that are not toggles of ours.
  ReplaceFileBytes(file, R"({"cell.gear": true, "cell.lights": false, "cell.n": 1, "x.y": true, "cell.a b": true})");
  TGameState state;
  TToggleStore store(state, file, "cell.");
  EXPECT_EQ(store.Load(), u"");
  const auto values = state.Snapshot();
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values.at("cell.gear").Data, TStateData(true));
  EXPECT_EQ(values.at("cell.lights").Data, TStateData(false));
  state.Set("cell.gear", false);
  EXPECT_EQ(ReadFileBytes(file), "{\n  \"cell.gear\": false,\n  \"cell.lights\": false\n}\n");
}

TEST(TToggleStore, ABrokenFileIsReportedAndLeftAsItIs) {
  const std::string files[] = {"not JSON", "[true]", "", R"({"cell.a": tru)", "{\"cell.a\":" + std::string(50, '[')};
  for (const std::string& bytes : files) {
    TempDir user;
    user.Write("toggles.json", bytes);
    const std::u16string file = user.File("toggles.json");
    TGameState state;
    TToggleStore store(state, file, "cell.");
    const std::u16string message = store.Load();
    EXPECT_NE(message.find(u"\"" + file + u"\""), std::u16string::npos) << bytes;
    state.Set("cell.a", true);
    EXPECT_EQ(ReadFileBytes(file), bytes);
    EXPECT_EQ(state.Snapshot().size(), 1u) << bytes;
  }
}

}  // namespace
