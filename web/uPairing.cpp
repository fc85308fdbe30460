#include "web/uPairing.h"

#include <algorithm>

#include "base/uErrors.h"
#include "base/uRandom.h"
#include "base/uSha256.h"
#include "web/uDevices.h"

TPairing::TPairing(TDeviceStore& AStore, TClock AClock) : FStore(AStore), FClock(std::move(AClock)) {}

TPairingOffer TPairing::Begin() {
  TPairingOffer offer;
  offer.Secret = NewCredential().substr(0, 22);
  const std::uint32_t number = SecureRandomBelow(1000000);
  offer.Code = std::to_string(1000000 + number).substr(1);
  std::lock_guard lock(FLock);
  offer.Expires = FClock() + kLifetime;
  FOffer = offer;
  FWrongTries = 0;
  return offer;
}

void TPairing::Cancel() {
  std::lock_guard lock(FLock);
  FOffer.reset();
}

bool TPairing::OfferLiveLocked(std::chrono::steady_clock::time_point ANow) const {
  return FOffer && ANow < FOffer->Expires;
}

std::optional<TPairingOffer> TPairing::Current() const {
  std::lock_guard lock(FLock);
  if (!OfferLiveLocked(FClock())) return std::nullopt;
  return FOffer;
}

TPairingResult TPairing::Redeem(std::string_view ASecret, std::string_view ACode, std::u16string AName) {
  TPairingResult result;
  std::string secret;
  {
    std::lock_guard lock(FLock);
    const auto now = FClock();
    std::erase_if(FAttempts, [now](auto at) { return now - at >= std::chrono::seconds(1); });
    if (static_cast<int>(FAttempts.size()) >= kAttemptsPerSecond) {
      result.Outcome = TPairingOutcome::TooMany;
      return result;
    }
    FAttempts.push_back(now);
    if (!OfferLiveLocked(now)) {
      FOffer.reset();
      return result;
    }
    // Both are compared in full whatever the input, so their timing tells nothing.
    const bool secretMatches = !ASecret.empty() && ConstantTimeEquals(ASecret, FOffer->Secret);
    const bool codeMatches = !ACode.empty() && ConstantTimeEquals(ACode, FOffer->Code);
    if (!secretMatches && !codeMatches) {
      if (++FWrongTries >= kMaxWrongTries) FOffer.reset();
      result.Outcome = TPairingOutcome::Wrong;
      return result;
    }
    // Used once: a second page with the same secret finds nothing.
    secret = FOffer->Secret;
    FOffer.reset();
  }
  try {
    result.Token = FStore.Add(AName, TDeviceKind::Phone, &result.DeviceId);
  } catch (const Exception& e) {
    result.Outcome = TPairingOutcome::Failed;
    result.Message = e.Message();
    return result;
  }
  result.Outcome = TPairingOutcome::Paired;
  for (const TDevice& device : FStore.Devices())
    if (device.Id == result.DeviceId) result.Name = device.Name;
  std::lock_guard lock(FLock);
  FPairedSecret = secret;
  FPairedName = result.Name;
  return result;
}

std::u16string TPairing::PairedName(std::string_view ASecret) const {
  std::lock_guard lock(FLock);
  return !ASecret.empty() && ASecret == FPairedSecret ? FPairedName : std::u16string();
}

TPairing& GetPairing() {
  static TPairing pairing(GetDeviceStore());
  return pairing;
}
