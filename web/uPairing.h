#pragma once
// Pairing a phone: the PC shows a one-time secret (in a QR code of the page's address) and a
// 6-digit code; a page that proves it saw one of them gets a credential of its own. An offer
// is good for one pairing, for two minutes, and for at most five wrong tries; all attempts
// together are limited to a few per second, so the code cannot be guessed.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TDeviceStore;

struct TPairingOffer {
  std::string Secret;  // 22 characters of base64url (128 bits), for the address's fragment
  std::string Code;    // 6 digits
  std::chrono::steady_clock::time_point Expires;
};

enum class TPairingOutcome {
  Paired,     // a device was added; Token holds its credential
  Wrong,      // wrong secret or code; the offer stays until its tries are used up
  NoOffer,    // nothing to pair with: none shown, expired, used, closed, or voided by wrong tries
  TooMany,    // too many attempts in the last second; try again shortly
  Failed,     // the device could not be kept (the list cannot be written)
};

struct TPairingResult {
  TPairingOutcome Outcome = TPairingOutcome::NoOffer;
  std::string Token;
  std::string DeviceId;
  std::u16string Name;
  std::u16string Message;  // for Failed
};

class TPairing {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;
  static constexpr auto kLifetime = std::chrono::minutes(2);
  static constexpr int kMaxWrongTries = 5;
  static constexpr int kAttemptsPerSecond = 4;

  explicit TPairing(TDeviceStore& AStore, TClock AClock = std::chrono::steady_clock::now);

  // A fresh offer; any earlier one is void.
  TPairingOffer Begin();
  // The offer is withdrawn (the card was closed).
  void Cancel();
  // The offer in force, if any (not expired, used or voided).
  std::optional<TPairingOffer> Current() const;

  // Redeems the secret of the QR code, or the typed code, for a device named AName.
  TPairingResult Redeem(std::string_view ASecret, std::string_view ACode, std::u16string AName);

  // The name of the device that the offer with this secret paired; empty when it paired none.
  std::u16string PairedName(std::string_view ASecret) const;

 private:
  bool OfferLiveLocked(std::chrono::steady_clock::time_point ANow) const;

  TDeviceStore& FStore;
  TClock FClock;
  mutable std::mutex FLock;
  std::optional<TPairingOffer> FOffer;
  int FWrongTries = 0;
  std::vector<std::chrono::steady_clock::time_point> FAttempts;  // within the last second
  // The secret of the last offer that paired a device, and that device's name.
  std::string FPairedSecret;
  std::u16string FPairedName;
};

// The process-wide pairing, for the process-wide device list.
TPairing& GetPairing();
