#pragma once
// Who may press keys: the paired devices (phones) and the keys made for scripts. Each holds a
// credential, a random token that it sends with every input request; the program keeps only a
// fingerprint of it (SHA-256), so the list on disk gives nobody a working credential. The list
// lives in devices.json in the user's folder, written whole or not at all.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TDeviceKind { Phone, Script };

struct TDevice {
  std::string Id;  // short and random; names the device in the window and in commands
  std::u16string Name;
  TDeviceKind Kind = TDeviceKind::Phone;
  std::int64_t PairedAt = 0;  // seconds since 1970 (UTC)
  std::int64_t LastSeen = 0;  // seconds since 1970 (UTC); 0: never
  std::string TokenHash;      // SHA-256 of the credential, 64 hexadecimal digits
  bool operator==(const TDevice&) const = default;
};

// The request header that carries a device's credential.
inline constexpr std::string_view kDeviceHeader = "Tapdeck-Device";

class TDeviceStore {
 public:
  TDeviceStore() = default;
  TDeviceStore(const TDeviceStore&) = delete;
  TDeviceStore& operator=(const TDeviceStore&) = delete;

  // Reads the list from AFile (devices.json); empty: the list lives in memory only. A missing
  // file means no device is paired. A file that cannot be read or is not a device list is
  // moved aside unchanged (to "<name>.bad", or a numbered variant) and the list starts empty;
  // the answer is then the message to show, else empty.
  std::u16string Open(const std::u16string& AFile);
  const std::u16string& File() const { return FFile; }

  std::vector<TDevice> Devices() const;
  // A new device with a fresh credential, which is returned: it is shown or sent once, and
  // nowhere kept. Raises when the list cannot be written.
  std::string Add(std::u16string AName, TDeviceKind AKind, std::string* AId = nullptr);
  // The id of the device holding this credential, noted as seen now; nothing for an unknown one.
  std::optional<std::string> Authenticate(std::string_view AToken);
  bool Rename(const std::string& AId, std::u16string AName);
  // A forgotten device's next request is refused; listeners learn its id.
  bool Forget(const std::string& AId);
  void ForgetAll();

  // Whether requests without a credential may act (off unless the user turns it on).
  bool OpenMode() const;
  void SetOpenMode(bool AValue);

  // Rises with every change the window shows (devices, names, open mode; last-seen times at
  // most once a minute per device).
  std::uint64_t Version() const;
  // Runs with the ids of devices that were forgotten, on the thread that forgot them.
  void SetForgetListener(std::function<void(const std::vector<std::string>&)> AListener);
  // Writes the last-seen times that are only in memory.
  void Flush();
  // The message of the last write that failed, or empty: shown, not raised, where a write
  // happens on a request's behalf.
  std::u16string LastWriteError() const;

  // Names of at most this many characters are kept; longer ones are cut.
  static constexpr std::size_t kMaxNameLength = 60;

 private:
  void SaveLocked();  // raises EInOutError
  void TrySaveLocked();
  void Changed();

  mutable std::mutex FLock;
  std::u16string FFile;
  std::map<std::string, TDevice> FDevices;  // by id
  bool FOpenMode = false;
  bool FDirty = false;  // last-seen times not yet written
  std::uint64_t FVersion = 0;
  std::u16string FWriteError;
  std::function<void(const std::vector<std::string>&)> FForgetListener;
};

// The process-wide list of devices (in memory until Open is called).
TDeviceStore& GetDeviceStore();

// A device's name from its browser's User-Agent, such as "Android · Chrome" or "iPad · Safari".
std::u16string DeviceNameFromUserAgent(std::string_view AUserAgent);
// "12 min ago", "3 h ago", "2 days ago", "just now", or "never" for 0.
std::u16string LastSeenText(std::int64_t ASeen, std::int64_t ANow);
// Seconds since 1970, UTC.
std::int64_t UnixNow();
// A fresh credential: 24 random bytes in base64url (32 characters).
std::string NewCredential();
