#pragma once
// The paths a control page uses to pair and to learn whether it may press keys. They are
// answered by the page route, so the route table stays as it is.

#include <string>
#include <string_view>

#include "web/uRouteAnswer.h"
#include "web/uWebRequest.h"

class TDeviceStore;
class TPairing;

// POST: {"secret": ...} (from the QR code's address) or {"code": "123456"} (typed) redeemed
// for a credential: 200 {"token", "name"}; 403 {"error"} for a wrong secret or code; 410 when
// no pairing is offered (none shown, expired, used, voided); 429 for too many attempts.
inline constexpr std::u16string_view kPairPath = u"/pair";
// GET, with the page's credential if it has one: 200 {"paired", "open", "name"}.
inline constexpr std::u16string_view kDevicePath = u"/device";

TRouteAnswer PairAnswer(TWebRequest& ARequest, TPairing& APairing);
TRouteAnswer DeviceAnswer(const TWebRequest& ARequest, TDeviceStore& AStore);

// Whether a request may act on the PC: open mode, or a valid credential in its header.
bool MayAct(const TWebRequest& ARequest, TDeviceStore& AStore);
