#include "game/uStatusFile.h"

#include <cstdint>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "base/uErrors.h"
#include "game/uGameFolders.h"

namespace {

using json = nlohmann::json;

constexpr char16_t kStatusFileName[] = u"Status.json";
// The game's file is a few hundred bytes; one far larger is not the game's.
constexpr std::uint64_t kMaxStatusFileSize = 64 * 1024;
// The file nests two levels; deeper nesting is refused before it costs anything.
constexpr int kMaxDepth = 8;
// A file that reads badly but keeps its size and time is read this many times more.
constexpr int kBadReadRetries = 3;

const char* const kFlags[32] = {
    "Docked",         "Landed",          "LandingGearDown",   "ShieldsUp",          "Supercruise",
    "FlightAssistOff", "HardpointsDeployed", "InWing",         "LightsOn",           "CargoScoopDeployed",
    "SilentRunning",  "ScoopingFuel",    "SrvHandbrake",      "SrvUsingTurretView", "SrvTurretRetracted",
    "SrvDriveAssist", "FsdMassLocked",   "FsdCharging",       "FsdCooldown",        "LowFuel",
    "OverHeating",    "HasLatLong",      "IsInDanger",        "BeingInterdicted",   "InMainShip",
    "InFighter",      "InSRV",           "HudInAnalysisMode", "NightVision",        "AltitudeFromAverageRadius",
    "FsdJump",        "SrvHighBeam"};

// The bits of Flags2 that have names; the rest are called Flags2Bit<N>.
const char* const kFlags2[] = {"OnFoot",          "InTaxi",           "InMulticrew",       "OnFootInStation",
                               "OnFootOnPlanet",  "AimDownSight",     "LowOxygen",         "LowHealth",
                               "Cold",            "Hot",              "VeryCold",          "VeryHot",
                               "GlideMode",       "OnFootInHangar",   "OnFootSocialSpace", "OnFootExterior",
                               "BreathableAtmosphere", "TelepresenceMulticrew", "PhysicalMulticrew",
                               "FsdHyperdriveCharging"};
constexpr int kNamedFlags2 = sizeof kFlags2 / sizeof kFlags2[0];

// The values, by their members' paths in the file ("Fuel.FuelMain" is FuelMain inside Fuel).
// Pips comes as one array of three.
struct TValueMember {
  const char* Path;
  TStateKind Kind;
};
const TValueMember kValues[] = {
    {"GuiFocus", TStateKind::Number},  {"FireGroup", TStateKind::Number},     {"Pips.Sys", TStateKind::Number},
    {"Pips.Eng", TStateKind::Number},  {"Pips.Wep", TStateKind::Number},      {"Fuel.FuelMain", TStateKind::Number},
    {"Fuel.FuelReservoir", TStateKind::Number}, {"Cargo", TStateKind::Number}, {"LegalState", TStateKind::Text},
    {"Balance", TStateKind::Number},   {"Latitude", TStateKind::Number},      {"Longitude", TStateKind::Number},
    {"Altitude", TStateKind::Number},  {"Heading", TStateKind::Number},       {"BodyName", TStateKind::Text},
    {"Oxygen", TStateKind::Number},    {"Health", TStateKind::Number},        {"Temperature", TStateKind::Number},
    {"Gravity", TStateKind::Number}};
const char* const kPips[3] = {"Pips.Sys", "Pips.Eng", "Pips.Wep"};

std::string Flags2Name(int ABit) {
  return std::string(kElitePrefix) + (ABit < kNamedFlags2 ? kFlags2[ABit] : "Flags2Bit" + std::to_string(ABit));
}

// Thrown by the parser's callback when the file nests too deep.
struct TTooDeep {};

// A member holding 32 bits: an integer, negative ones taken as their 32-bit pattern (bit 31
// set reads as negative to a signed writer).
std::optional<std::uint32_t> Bits(const json& AObject, const char* AName) {
  const auto found = AObject.find(AName);
  if (found == AObject.end()) return std::nullopt;
  if (found->is_number_unsigned()) {
    const auto value = found->get<std::uint64_t>();
    if (value <= UINT32_MAX) return static_cast<std::uint32_t>(value);
  } else if (found->is_number_integer()) {
    const auto value = found->get<std::int64_t>();
    if (value >= INT32_MIN && value < 0) return static_cast<std::uint32_t>(value);
  }
  return std::nullopt;
}

// The value at a dotted path, when it has the kind wanted.
std::optional<TStateData> Value(const json& AObject, std::string_view APath, TStateKind AKind) {
  const json* at = &AObject;
  while (!APath.empty()) {
    const auto dot = APath.find('.');
    const auto found = at->find(std::string(APath.substr(0, dot)));
    if (found == at->end()) return std::nullopt;
    at = &*found;
    APath = dot == std::string_view::npos ? std::string_view() : APath.substr(dot + 1);
    if (!APath.empty() && !at->is_object()) return std::nullopt;
  }
  if (AKind == TStateKind::Number && at->is_number()) return at->get<double>();
  if (AKind == TStateKind::Text && at->is_string()) return at->get<std::string>();
  return std::nullopt;
}

}  // namespace

const std::vector<TStateName>& EliteStateNames() {
  static const std::vector<TStateName> names = [] {
    std::vector<TStateName> list;
    for (const char* flag : kFlags) list.push_back({std::string(kElitePrefix) + flag, TStateKind::Bool});
    for (int bit = 0; bit < 32; ++bit) list.push_back({Flags2Name(bit), TStateKind::Bool});
    for (const TValueMember& value : kValues)
      list.push_back({std::string(kElitePrefix) + value.Path, value.Kind});
    list.push_back({kEliteRunning, TStateKind::Bool});
    return list;
  }();
  return names;
}

std::optional<std::map<std::string, TStateData>> ParseStatusFile(std::string_view ABytes) {
  json root;
  try {
    root = json::parse(ABytes.begin(), ABytes.end(), [](int ADepth, json::parse_event_t, json&) {
      if (ADepth > kMaxDepth) throw TTooDeep{};
      return true;
    });
  } catch (const json::exception&) {
    return std::nullopt;
  } catch (const TTooDeep&) {
    return std::nullopt;
  }
  if (!root.is_object()) return std::nullopt;

  std::map<std::string, TStateData> values;
  if (const auto flags = Bits(root, "Flags"))
    for (int bit = 0; bit < 32; ++bit) values[std::string(kElitePrefix) + kFlags[bit]] = ((*flags >> bit) & 1) != 0;
  if (const auto flags2 = Bits(root, "Flags2"))
    for (int bit = 0; bit < 32; ++bit) values[Flags2Name(bit)] = ((*flags2 >> bit) & 1) != 0;
  for (const TValueMember& member : kValues)
    if (auto value = Value(root, member.Path, member.Kind)) values[std::string(kElitePrefix) + member.Path] = *value;
  // Pips: three numbers or none.
  const auto pips = root.find("Pips");
  if (pips != root.end() && pips->is_array() && pips->size() == 3 &&
      std::all_of(pips->begin(), pips->end(), [](const json& pip) { return pip.is_number(); }))
    for (int i = 0; i < 3; ++i) values[std::string(kElitePrefix) + kPips[i]] = (*pips)[i].get<double>();
  return values;
}

TStatusFileWatcher::TStatusFileWatcher(TGameState& AState, std::function<void()> AOnInfo,
                                       std::function<std::vector<std::u16string>()> ACandidates)
    : FState(AState),
      FOnInfo(std::move(AOnInfo)),
      FCandidates(ACandidates ? std::move(ACandidates) : [] { return StatusFolderCandidates(); }) {
  FState.ReplacePrefix(kElitePrefix, {{kEliteRunning, false}});
  FThread = std::thread([this] { Run(); });
}

TStatusFileWatcher::~TStatusFileWatcher() {
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  FWake.notify_all();
  FThread.join();
}

void TStatusFileWatcher::SetFolder(const std::u16string& AFolder) {
  {
    std::lock_guard lock(FLock);
    FRequestedFolder = AFolder;
    if (!AFolder.empty() && AFolder.back() != u'/' && AFolder.back() != PathDelimiter())
      FRequestedFolder += PathDelimiter();
    FRequestedAutomatic = false;
    ++FRequest;
  }
  FWake.notify_all();
}

void TStatusFileWatcher::SetAutomaticFolder() {
  {
    std::lock_guard lock(FLock);
    FRequestedFolder.clear();
    FRequestedAutomatic = true;
    ++FRequest;
  }
  FWake.notify_all();
}

TStatusFileInfo TStatusFileWatcher::Info() const {
  std::lock_guard lock(FLock);
  return FInfo;
}

void TStatusFileWatcher::Run() {
  std::unique_lock lock(FLock);
  while (!FStop) {
    lock.unlock();
    Poll(std::chrono::steady_clock::now());
    lock.lock();
    FWake.wait_for(lock, kPollInterval, [this] { return FStop || FRequest != FRequestSeen; });
  }
}

std::u16string TStatusFileWatcher::ChooseFolder() const {
  const std::vector<std::u16string> candidates = FCandidates();
  for (const std::u16string& folder : candidates)
    if (FileStamp(folder + kStatusFileName)) return folder;
  for (const std::u16string& folder : candidates) {
    std::error_code error;
    if (std::filesystem::is_directory(std::filesystem::path(folder), error)) return folder;
  }
  return {};
}

void TStatusFileWatcher::ChangeFolder(const std::u16string& AFolder) {
  if (AFolder == FFolder) return;
  FFolder = AFolder;
  FReadStamp.reset();
  FRetries = 0;
  FLastWritten.reset();
  FLastChange.reset();
  FBadReads = 0;
  FState.ReplacePrefix(kElitePrefix, {{kEliteRunning, false}});
}

bool TStatusFileWatcher::Read(const std::u16string& AFileName, bool ARunning) {
  std::optional<std::map<std::string, TStateData>> values;
  try {
    values = ParseStatusFile(ReadSharedFileBytes(AFileName));
  } catch (const Exception&) {
    // Vanished or held by the game between the look and the read: the next poll sees it again.
  }
  if (!values) return false;
  (*values)[kEliteRunning] = ARunning;
  FState.ReplacePrefix(kElitePrefix, *values);
  return true;
}

void TStatusFileWatcher::Poll(std::chrono::steady_clock::time_point ANow) {
  std::optional<std::u16string> requestedFolder;
  {
    std::lock_guard lock(FLock);
    if (FRequest != FRequestSeen) {
      FRequestSeen = FRequest;
      FAutomatic = FRequestedAutomatic;
      FSearchNow = FAutomatic;
      if (!FAutomatic) requestedFolder = FRequestedFolder;
    }
  }
  if (requestedFolder) ChangeFolder(*requestedFolder);

  const auto look = [this] { return FFolder.empty() ? std::nullopt : FileStamp(FFolder + kStatusFileName); };
  std::optional<TFileStamp> stamp = look();
  if (FAutomatic && (FSearchNow || (!stamp && ANow >= FNextSearch))) {
    FSearchNow = false;
    FNextSearch = ANow + kSearchInterval;
    ChangeFolder(ChooseFolder());
    stamp = look();
  }

  if (stamp) FLastWritten = stamp->Written;
  const bool running =
      FLastWritten && std::chrono::abs(std::chrono::system_clock::now() - *FLastWritten) < kRunningWindow;
  const std::u16string fileName = stamp ? FFolder + kStatusFileName : std::u16string();
  if (stamp && stamp != FReadStamp) {
    FReadStamp = stamp;
    FRetries = kBadReadRetries + 1;
  }
  if (stamp && FRetries > 0) {
    --FRetries;
    if (stamp->Size <= kMaxStatusFileSize && Read(fileName, running)) {
      FRetries = 0;
      FBadReads = 0;
      FLastChange = stamp->Written;
    } else {
      ++FBadReads;
    }
  }
  FState.Set(kEliteRunning, running);

  TStatusFileInfo info{FFolder, fileName, FLastChange, running, FBadReads};
  {
    std::lock_guard lock(FLock);
    if (info == FInfo) return;
    FInfo = std::move(info);
  }
  if (FOnInfo) FOnInfo();
}
