#include "web/uDeviceRoutes.h"

#include <nlohmann/json.hpp>

#include "base/uText.h"
#include "web/uDevices.h"
#include "web/uPairing.h"

using json = nlohmann::json;

namespace {

TRouteAnswer JsonAnswer(std::int32_t AStatus, const json& ABody) {
  return {AStatus, u"application/json", ABody.dump()};
}

TRouteAnswer ErrorAnswer(std::int32_t AStatus, const std::string& AMessage) {
  return JsonAnswer(AStatus, {{"error", AMessage}});
}

std::string StringMember(const json& AObject, const char* AName) {
  if (!AObject.is_object() || !AObject.contains(AName) || !AObject[AName].is_string()) return {};
  return AObject[AName].get<std::string>();
}

}  // namespace

TRouteAnswer PairAnswer(TWebRequest& ARequest, TPairing& APairing) {
  if (ARequest.MethodType() != mtPost) return ErrorAnswer(405, "use POST");
  const json body = json::parse(ARequest.Content(), nullptr, false);
  const std::string secret = StringMember(body, "secret");
  const std::string code = StringMember(body, "code");
  if (secret.empty() && code.empty()) return ErrorAnswer(400, "send the pairing secret or the 6-digit code");
  const TPairingResult result =
      APairing.Redeem(secret, code, DeviceNameFromUserAgent(ARequest.GetFieldByName("User-Agent")));
  switch (result.Outcome) {
    case TPairingOutcome::Paired:
      return JsonAnswer(200, {{"token", result.Token}, {"name", Utf16ToUtf8(result.Name)}});
    case TPairingOutcome::Wrong:
      return ErrorAnswer(403, secret.empty() ? "that is not the code the PC shows" : "this pairing code is not valid");
    case TPairingOutcome::NoOffer:
      return ErrorAnswer(410, "no pairing is waiting on the PC: press \"Pair a phone\" there for a new code");
    case TPairingOutcome::TooMany:
      return ErrorAnswer(429, "too many tries: wait a moment");
    case TPairingOutcome::Failed:
      return ErrorAnswer(500, Utf16ToUtf8(result.Message));
  }
  return ErrorAnswer(500, "unknown outcome");
}

TRouteAnswer DeviceAnswer(const TWebRequest& ARequest, TDeviceStore& AStore) {
  json answer = {{"paired", false}, {"open", AStore.OpenMode()}};
  if (const auto id = AStore.Authenticate(ARequest.GetFieldByName(kDeviceHeader)))
    for (const TDevice& device : AStore.Devices())
      if (device.Id == *id) answer = {{"paired", true}, {"open", AStore.OpenMode()}, {"name", Utf16ToUtf8(device.Name)}};
  return JsonAnswer(200, answer);
}

bool MayAct(const TWebRequest& ARequest, TDeviceStore& AStore) {
  // The credential is checked first so that a paired device counts as seen in open mode too.
  return AStore.Authenticate(ARequest.GetFieldByName(kDeviceHeader)).has_value() || AStore.OpenMode();
}
