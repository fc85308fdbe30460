#include "game/uToggleStore.h"

#include <filesystem>

#include <nlohmann/json.hpp>

#include "base/uErrors.h"
#include "base/uFiles.h"
#include "base/uText.h"

namespace {

using json = nlohmann::json;

// A few hundred toggles take a few kilobytes; a file far larger is not ours.
constexpr std::uint64_t kMaxToggleFileSize = 1024 * 1024;
// The file is one flat object.
constexpr int kMaxDepth = 4;
struct TTooDeep {};

}  // namespace

TToggleStore::TToggleStore(TGameState& AState, std::u16string AFileName, std::string APrefix)
    : FState(AState), FFileName(std::move(AFileName)), FPrefix(std::move(APrefix)) {}

TToggleStore::~TToggleStore() {
  if (FListener) FState.RemoveListener(FListener);
}

std::u16string TToggleStore::Load() {
  if (FListener) FState.RemoveListener(FListener);
  FListener = 0;
  const auto refused = [this](const std::u16string& AReason) {
    return u"The toggle states were not restored: \"" + FFileName + u"\" " + AReason +
           u" It is left as it is, and toggle states are not saved until it is put right or removed.";
  };
  std::map<std::string, bool> loaded;
  std::error_code error;
  if (std::filesystem::exists(std::filesystem::path(FFileName), error)) {
    json root;
    try {
      const auto stamp = FileStamp(FFileName);
      if (stamp && stamp->Size > kMaxToggleFileSize) return refused(u"is too large.");
      root = json::parse(ReadFileBytes(FFileName), [](int ADepth, json::parse_event_t, json&) {
        if (ADepth > kMaxDepth) throw TTooDeep{};
        return true;
      });
    } catch (const Exception& e) {
      return refused(u"cannot be read. " + e.Message());
    } catch (const json::exception& e) {
      return refused(u"is not valid JSON (" + Utf8ToUtf16(e.what()) + u").");
    } catch (const TTooDeep&) {
      return refused(u"does not hold a flat JSON object.");
    }
    if (!root.is_object()) return refused(u"does not hold a flat JSON object.");
    for (const auto& [name, value] : root.items())
      if (name.starts_with(FPrefix) && value.is_boolean() && IsStateName(name)) loaded[name] = value.get<bool>();
  }
  for (const auto& [name, on] : loaded) FState.Set(name, on);
  {
    std::lock_guard lock(FLock);
    FSaved = std::move(loaded);
  }
  FListener = FState.AddListener([this] { Save(); });
  Save();  // values the file did not hold yet, and any set meanwhile
  return {};
}

std::u16string TToggleStore::LastError() const {
  std::lock_guard lock(FLock);
  return FLastError;
}

void TToggleStore::Save() {
  std::lock_guard lock(FLock);
  std::map<std::string, bool> values;
  for (const auto& [name, value] : FState.Snapshot(FPrefix))
    if (const bool* on = std::get_if<bool>(&value.Data)) values[name] = *on;
  if (values == FSaved) return;
  json root = json::object();
  for (const auto& [name, on] : values) root[name] = on;
  try {
    ReplaceFileBytes(FFileName, root.dump(2) + "\n");
    FSaved = std::move(values);
    FLastError.clear();
  } catch (const Exception& e) {
    FLastError = e.Message();
  }
}
