#include "web/uDevices.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>

#include "base/uErrors.h"
#include "base/uFiles.h"
#include "base/uRandom.h"
#include "base/uSha256.h"
#include "base/uText.h"

using json = nlohmann::ordered_json;

namespace {

constexpr int kFormat = 1;
// Last-seen times change with every tap; the window shows them to the minute.
constexpr std::int64_t kSeenResolution = 60;

std::string Base64Url(std::string_view bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (unsigned char c : bytes) {
    buffer = (buffer << 8) | c;
    bits += 8;
    while (bits >= 6) {
      bits -= 6;
      out += kDigits[(buffer >> bits) & 0x3F];
    }
  }
  if (bits > 0) out += kDigits[(buffer << (6 - bits)) & 0x3F];
  return out;
}

std::string NewId() {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string id;
  for (unsigned char c : SecureRandomBytes(4)) {
    id += kDigits[c >> 4];
    id += kDigits[c & 0xF];
  }
  return id;
}

std::u16string CleanName(std::u16string AName) {
  for (char16_t& c : AName)
    if (c < u' ') c = u' ';
  const auto first = AName.find_first_not_of(u' ');
  if (first == std::u16string::npos) return u"Unnamed device";
  AName = AName.substr(first, AName.find_last_not_of(u' ') - first + 1);
  if (AName.size() > TDeviceStore::kMaxNameLength) AName.resize(TDeviceStore::kMaxNameLength);
  return AName;
}

bool IsHex(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// The list of a devices file; raises Exception with a message for anything that is not one.
std::map<std::string, TDevice> ParseDevices(const std::string& ABytes, bool& AOpenMode) {
  const json root = json::parse(ABytes, nullptr, false);
  if (root.is_discarded() || !root.is_object()) throw Exception(u"it is not a device list (not JSON)");
  if (root.value("tapdeckDevices", 0) != kFormat) throw Exception(u"it is not a device list of format 1");
  AOpenMode = root.contains("openMode") && root["openMode"].is_boolean() && root["openMode"].get<bool>();
  std::map<std::string, TDevice> devices;
  if (!root.contains("devices")) return devices;
  if (!root["devices"].is_array()) throw Exception(u"\"devices\" is not a list");
  for (const json& entry : root["devices"]) {
    if (!entry.is_object() || !entry.contains("id") || !entry["id"].is_string() || !entry.contains("tokenSha256") ||
        !entry["tokenSha256"].is_string())
      throw Exception(u"a device has no id or no token fingerprint");
    TDevice device;
    device.Id = entry["id"].get<std::string>();
    device.TokenHash = entry["tokenSha256"].get<std::string>();
    if (device.Id.empty() || device.TokenHash.size() != 64 || !IsHex(device.TokenHash))
      throw Exception(u"a device's id or token fingerprint is malformed");
    std::u16string name;
    if (entry.contains("name") && entry["name"].is_string() && TryUtf8ToUtf16(entry["name"].get<std::string>(), name))
      device.Name = CleanName(name);
    else
      device.Name = u"Unnamed device";
    device.Kind = entry.value("kind", std::string()) == "script" ? TDeviceKind::Script : TDeviceKind::Phone;
    if (entry.contains("paired") && entry["paired"].is_number_integer()) device.PairedAt = entry["paired"].get<std::int64_t>();
    if (entry.contains("lastSeen") && entry["lastSeen"].is_number_integer())
      device.LastSeen = entry["lastSeen"].get<std::int64_t>();
    devices[device.Id] = std::move(device);
  }
  return devices;
}

// The first of "<file>.bad", "<file>.bad2", ... that does not exist yet.
std::u16string AsideName(const std::u16string& AFile) {
  std::u16string name = AFile + u".bad";
  for (int n = 2; FileExists(name) && n < 1000; ++n) name = AFile + u".bad" + IntToStr(n);
  return name;
}

}  // namespace

std::int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string NewCredential() { return Base64Url(SecureRandomBytes(24)); }

std::u16string TDeviceStore::Open(const std::u16string& AFile) {
  std::lock_guard lock(FLock);
  FFile = AFile;
  FDevices.clear();
  FOpenMode = false;
  FDirty = false;
  ++FVersion;
  if (AFile.empty() || !FileExists(AFile)) return {};
  try {
    FDevices = ParseDevices(ReadFileBytes(AFile), FOpenMode);
    return {};
  } catch (const Exception& e) {
    // Never overwritten: the user may want it back. Pairing starts afresh beside it.
    const std::u16string aside = AsideName(AFile);
    const bool moved = RenameFile(AFile, aside);
    if (!moved) FFile.clear();  // still in the way: the list stays in memory rather than replace it
    return u"The list of paired devices (" + AFile + u") could not be read: " + e.Message() +
           (moved ? u". It was kept as " + aside + u"; pair your phones again."
                  : u". It was left as it is, and pairings of this session will not be kept.");
  }
}

std::vector<TDevice> TDeviceStore::Devices() const {
  std::lock_guard lock(FLock);
  std::vector<TDevice> list;
  for (const auto& [id, device] : FDevices) list.push_back(device);
  std::sort(list.begin(), list.end(), [](const TDevice& a, const TDevice& b) { return a.PairedAt < b.PairedAt; });
  return list;
}

std::string TDeviceStore::Add(std::u16string AName, TDeviceKind AKind, std::string* AId) {
  const std::string token = NewCredential();
  TDevice device;
  device.Name = CleanName(std::move(AName));
  device.Kind = AKind;
  device.PairedAt = UnixNow();
  device.LastSeen = AKind == TDeviceKind::Phone ? device.PairedAt : 0;
  device.TokenHash = Sha256Hex(token);
  std::lock_guard lock(FLock);
  do device.Id = NewId();
  while (FDevices.count(device.Id) > 0);
  if (AId) *AId = device.Id;
  const std::string id = device.Id;
  FDevices[id] = std::move(device);
  try {
    SaveLocked();
  } catch (...) {
    FDevices.erase(id);
    throw;
  }
  ++FVersion;
  return token;
}

std::optional<std::string> TDeviceStore::Authenticate(std::string_view AToken) {
  if (AToken.empty()) return std::nullopt;
  const std::string hash = Sha256Hex(AToken);
  std::lock_guard lock(FLock);
  TDevice* match = nullptr;
  // Every entry is compared, so the time taken says nothing about which one matched.
  for (auto& [id, device] : FDevices)
    if (ConstantTimeEquals(device.TokenHash, hash)) match = &device;
  if (!match) return std::nullopt;
  const std::int64_t now = UnixNow();
  if (now - match->LastSeen >= kSeenResolution) {
    match->LastSeen = now;
    FDirty = true;
    ++FVersion;
  }
  return match->Id;
}

bool TDeviceStore::Rename(const std::string& AId, std::u16string AName) {
  std::lock_guard lock(FLock);
  const auto it = FDevices.find(AId);
  if (it == FDevices.end()) return false;
  it->second.Name = CleanName(std::move(AName));
  ++FVersion;
  TrySaveLocked();
  return true;
}

bool TDeviceStore::Forget(const std::string& AId) {
  std::function<void(const std::vector<std::string>&)> listener;
  {
    std::lock_guard lock(FLock);
    if (FDevices.erase(AId) == 0) return false;
    ++FVersion;
    TrySaveLocked();
    listener = FForgetListener;
  }
  if (listener) listener({AId});
  return true;
}

void TDeviceStore::ForgetAll() {
  std::vector<std::string> ids;
  std::function<void(const std::vector<std::string>&)> listener;
  {
    std::lock_guard lock(FLock);
    for (const auto& [id, device] : FDevices) ids.push_back(id);
    FDevices.clear();
    ++FVersion;
    TrySaveLocked();
    listener = FForgetListener;
  }
  if (listener && !ids.empty()) listener(ids);
}

bool TDeviceStore::OpenMode() const {
  std::lock_guard lock(FLock);
  return FOpenMode;
}

void TDeviceStore::SetOpenMode(bool AValue) {
  std::lock_guard lock(FLock);
  if (FOpenMode == AValue) return;
  FOpenMode = AValue;
  ++FVersion;
  TrySaveLocked();
}

std::uint64_t TDeviceStore::Version() const {
  std::lock_guard lock(FLock);
  return FVersion;
}

void TDeviceStore::SetForgetListener(std::function<void(const std::vector<std::string>&)> AListener) {
  std::lock_guard lock(FLock);
  FForgetListener = std::move(AListener);
}

void TDeviceStore::Flush() {
  std::lock_guard lock(FLock);
  if (FDirty) TrySaveLocked();
}

std::u16string TDeviceStore::LastWriteError() const {
  std::lock_guard lock(FLock);
  return FWriteError;
}

void TDeviceStore::SaveLocked() {
  FDirty = false;
  if (FFile.empty()) return;
  json list = json::array();
  for (const auto& [id, device] : FDevices)
    list.push_back({{"id", device.Id},
                    {"name", Utf16ToUtf8(device.Name)},
                    {"kind", device.Kind == TDeviceKind::Script ? "script" : "phone"},
                    {"paired", device.PairedAt},
                    {"lastSeen", device.LastSeen},
                    {"tokenSha256", device.TokenHash}});
  const json root = {{"tapdeckDevices", kFormat}, {"openMode", FOpenMode}, {"devices", std::move(list)}};
  try {
    ReplaceFileBytes(FFile, root.dump(2) + "\n");
    FWriteError.clear();
  } catch (const Exception& e) {
    FDirty = true;
    FWriteError = u"The list of paired devices could not be written to " + FFile + u": " + e.Message();
    throw EInOutError(FWriteError);
  }
}

void TDeviceStore::TrySaveLocked() {
  try {
    SaveLocked();
  } catch (const Exception&) {
    // Kept in LastWriteError for the window; the list in memory is right meanwhile.
  }
}

TDeviceStore& GetDeviceStore() {
  static TDeviceStore store;
  return store;
}

std::u16string DeviceNameFromUserAgent(std::string_view AUserAgent) {
  const auto has = [AUserAgent](std::string_view word) { return AUserAgent.find(word) != std::string_view::npos; };
  // iPadOS asks for the desktop site and calls itself a Mac; a touch-capable "Mac" cannot be
  // told apart here, so it stays a Mac.
  std::u16string system = has("iPad")                        ? u"iPad"
                          : has("iPhone")                    ? u"iPhone"
                          : has("Android")                   ? u"Android"
                          : has("CrOS")                      ? u"Chromebook"
                          : has("Windows")                   ? u"Windows"
                          : has("Macintosh") || has("Mac OS") ? u"Mac"
                          : has("Linux")                     ? u"Linux"
                                                             : u"";
  // Order matters: Edge and Opera name Chrome too, Chrome names Safari, and iOS browsers
  // carry their own marks.
  std::u16string browser = has("Edg")                           ? u"Edge"
                           : has("OPR") || has("Opera")         ? u"Opera"
                           : has("SamsungBrowser")              ? u"Samsung Internet"
                           : has("Firefox") || has("FxiOS")     ? u"Firefox"
                           : has("Chrome") || has("CriOS")      ? u"Chrome"
                           : has("Safari")                      ? u"Safari"
                                                                : u"";
  if (system.empty() && browser.empty()) return u"Browser";
  if (system.empty()) return browser;
  if (browser.empty()) return system;
  return system + u" \u00B7 " + browser;
}

std::u16string LastSeenText(std::int64_t ASeen, std::int64_t ANow) {
  if (ASeen <= 0) return u"never";
  const std::int64_t ago = std::max<std::int64_t>(0, ANow - ASeen);
  if (ago < 2 * kSeenResolution) return u"just now";
  if (ago < 3600) return IntToStr(ago / 60) + u" min ago";
  if (ago < 2 * 86400) return IntToStr(ago / 3600) + u" h ago";
  return IntToStr(ago / 86400) + u" days ago";
}
