#include "web/uMainPage.h"

#include <algorithm>
#include <iterator>

#include "base/uAddresses.h"
#include "base/uFiles.h"
#include "base/uIntConv.h"
#include "base/uLocalPeer.h"
#include "base/uText.h"
#include "joystick/vJoyClass.h"
#include "keys/uKeyboard.h"
#include "keys/uSendKeys.h"
#include "page/uPageInfo.h"
#include "web/uDeviceRoutes.h"
#include "web/uDevices.h"
#include "web/uEventStreams.h"
#include "web/uGameRoutes.h"
#include "web/uHeldInputs.h"
#include "web/uPairing.h"
#include "web/uPanelEditor.h"
#include "web/uRequestGuard.h"

namespace {

std::u16string WithFinalSeparator(std::u16string dir) {
  if (!dir.empty() && dir.back() != u'/' && dir.back() != PathDelimiter()) dir.push_back(PathDelimiter());
  return dir;
}

}  // namespace

TwmMainPage::TwmMainPage() : TwmMainPage(std::u16string()) {}

TwmMainPage::TwmMainPage(std::u16string ABaseDir) : FBasePath(WithFinalSeparator(std::move(ABaseDir))) {
  struct TRoute {
    const char16_t* Name;
    const char16_t* PathInfo;
    TMethodType MethodType;
    void (TwmMainPage::*Handler)(TWebActionItem&, TWebRequest&, TWebResponse&, bool&);
  };
  static constexpr TRoute kRoutes[] = {
      {u"DefaultHandler", u"/", mtGet, &TwmMainPage::WebModule2DefaultHandlerAction},
      {u"wmPostKeyboardKey", kInputRoutePaths[0], mtAny, &TwmMainPage::wmMainPagewmPostKeyboardKeyAction},
      {u"wmPostKeyboardDown", kInputRoutePaths[1], mtAny, &TwmMainPage::wmMainPagewmPostKeyboardDownAction},
      {u"wmPostKeyboardUp", kInputRoutePaths[2], mtAny, &TwmMainPage::wmMainPagewmPostKeyboardUpAction},
      {u"wmPostButtonsPress", kInputRoutePaths[3], mtAny, &TwmMainPage::wmMainPagewmPostButtonsPressAction},
      {u"wmPostButtonsDown", kInputRoutePaths[4], mtAny, &TwmMainPage::wmMainPagewmPostButtonsDownAction},
      {u"wmPostButtonsUp", kInputRoutePaths[5], mtAny, &TwmMainPage::wmMainPagewmPostButtonsUpAction},
  };
  for (const TRoute& route : kRoutes) {
    TWebActionItem& item = Actions().Add();
    item.SetName(route.Name);
    item.SetPathInfo(route.PathInfo);
    item.SetMethodType(route.MethodType);
    item.SetOnAction([this, handler = route.Handler](TWebActionItem& Sender, TWebRequest& Request,
                                                     TWebResponse& Response, bool& Handled) {
      (this->*handler)(Sender, Request, Response, Handled);
    });
  }
  Actions().Items(0).SetDefault(true);
  SetOnCreate([this](TWebModule& Sender) { WebModuleCreate(Sender); });
  SetOnDestroy([this](TWebModule& Sender) { WebModuleDestroy(Sender); });
}

void TwmMainPage::WebModuleCreate(TWebModule&) {
  if (FBasePath.empty()) FBasePath = ExtractFilePath(ExecutablePath());
}

void TwmMainPage::WebModuleDestroy(TWebModule&) {}

void TwmMainPage::WebModule2DefaultHandlerAction(TWebActionItem&, TWebRequest& Request, TWebResponse& Response,
                                                 bool& Handled) {
  // The editor's and the pairing's paths come here as every path no input route takes.
  if (TPanelEditor::IsEditorPath(Request.PathInfo())) {
    EditorAction(Request, Response, Handled);
    return;
  }
  if (SameText(Request.PathInfo(), kPairPath)) {
    Handled = SetAnswer(PairAnswer(Request, GetPairing()), Response);
    return;
  }
  if (SameText(Request.PathInfo(), kDevicePath)) {
    Handled = SetAnswer(DeviceAnswer(Request, GetDeviceStore()), Response);
    return;
  }
  if (const TRouteAnswer answer = GameRouteAnswer(Request); answer.Status != 0) {
    Handled = SetAnswer(answer, Response);
    return;
  }
  const std::u16string templateName = FBasePath + u"index.html";
  if (!FileExists(templateName)) return;
  // The page object reloads the companion files and fills the template; while nothing it is
  // made of has changed it hands back the bytes of the page it filled last.
  const std::shared_ptr<const std::string> page =
      GetPageInfo().AssemblePage(FBasePath, ReadFileBytes(templateName));
  Handled = SetResponseStream(std::make_unique<TMemoryStream>(*page), u"text/html", Response);
}

bool TwmMainPage::SetResponseStream(std::unique_ptr<TMemoryStream> AStream, const std::u16string& AContentType,
                                    TWebResponse& AResponse) {
  AStream->SetPosition(0);
  AResponse.SetContentStream(std::move(AStream));
  // Content types are single-byte text on the wire.
  AResponse.SetContentType(AnsiToUtf16(Utf16ToAnsi(AContentType)));
  return true;
}

void TwmMainPage::EditorAction(TWebRequest& Request, TWebResponse& Response, bool& Handled) {
  const TPanelEditor editor(GetPageInfo(), FBasePath);
  std::u16string path = Request.PathInfo();
  for (char16_t& c : path) c = LowerCaseAscii(c);
  const bool get = Request.MethodType() == mtGet || Request.MethodType() == mtHead;
  const bool post = Request.MethodType() == mtPost;
  using TRead = TEditorAnswer (TPanelEditor::*)() const;
  using TWrite = TEditorAnswer (TPanelEditor::*)(std::string_view) const;
  static const struct {
    std::u16string_view Path;
    TRead Get;     // answers GET and HEAD
    TWrite Post;   // answers POST, with the body
  } kPaths[] = {
      {u"/edit", &TPanelEditor::Page, nullptr},         {u"/edit/panel", &TPanelEditor::Panel, nullptr},
      {u"/edit/builtin", &TPanelEditor::BuiltIn, nullptr}, {u"/edit/examples", &TPanelEditor::Examples, nullptr},
      {u"/edit/state", &TPanelEditor::State, nullptr},  {u"/edit/actions", &TPanelEditor::Actions, nullptr},
      {u"/edit/check", nullptr, &TPanelEditor::Check},  {u"/edit/preview", nullptr, &TPanelEditor::Preview},
      {u"/edit/save", nullptr, &TPanelEditor::Save},    {u"/edit/review", nullptr, &TPanelEditor::Review},
  };
  TEditorAnswer answer{404, u"text/plain", "Not found"};
  for (const auto& known : kPaths) {
    if (path != known.Path) continue;
    if (known.Get && get)
      answer = (editor.*known.Get)();
    else if (known.Post && post)
      answer = (editor.*known.Post)(Request.Content());
    else
      answer = {405, u"text/plain", "Method not allowed"};
  }
  // The editor writes the panel, which decides what the phone types: no other page may
  // show it in a frame and trick a click out of the user.
  Response.AddHeader("Content-Security-Policy", "frame-ancestors 'none'");
  Response.AddHeader("X-Frame-Options", "DENY");
  Handled = SetAnswer(answer, Response);
}

bool TwmMainPage::SetAnswer(const TRouteAnswer& AAnswer, TWebResponse& AResponse) {
  AResponse.SetStatusCode(AAnswer.Status);
  AResponse.AddHeader("Cache-Control", "no-store");
  return SetResponseStream(std::make_unique<TMemoryStream>(AAnswer.Body), AAnswer.ContentType, AResponse);
}

// --- Input routes ---
// Keyboard routes hand the sequence to a worker (StartKeySequence: in turn behind earlier
// requests of the same sequence) and return at once; joystick routes set the buttons on the
// connection thread before the response goes out.

namespace {

// The "str" field of a keyboard request: from the query for GET, from the form body for
// POST (the service fills a bodiless POST's content with its query), nothing otherwise.
std::u16string KeyboardValue(TWebRequest& ARequest) {
  switch (ARequest.MethodType()) {
    case mtGet:
      return ARequest.QueryFields().Values(u"str");
    case mtPost:
      return ARequest.ContentFields().Values(u"str");
    default:
      return {};
  }
}

// The joystick's button number for an id: its low 8 bits.
std::uint8_t ButtonNr(std::int32_t AId) { return static_cast<std::uint8_t>(AId & 0xFF); }

}  // namespace

std::vector<std::int32_t> TwmMainPage::ButtonsIdsFromString(std::u16string_view AText) {
  std::vector<std::int32_t> ids;
  if (AText.empty()) return ids;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = AText.find(u',', start);
    const std::u16string_view piece =
        AText.substr(start, comma == std::u16string_view::npos ? std::u16string_view::npos : comma - start);
    const std::int32_t id = StrToIntDef(piece, -1);
    if (id > 0 && std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    if (comma == std::u16string_view::npos) break;
    start = comma + 1;
  }
  return ids;
}

void TwmMainPage::wmMainPagewmPostKeyboardKeyAction(TWebActionItem&, TWebRequest& Request, TWebResponse&,
                                                    bool& Handled) {
  StartKeySequence(KeyboardValue(Request), {skDown, skUp});
  Handled = true;
}

// Whatever a down route presses is noted with the page that pressed it, so that it is let go
// when that page is gone, and at Stop and exit.
void TwmMainPage::wmMainPagewmPostKeyboardDownAction(TWebActionItem&, TWebRequest& Request, TWebResponse&,
                                                     bool& Handled) {
  const std::u16string sequence = KeyboardValue(Request);
  if (!sequence.empty()) {
    const TRequester from = RequesterOf(Request);
    GetHeldInputs().KeysDown(from.Page, from.Device, sequence, sequence);
  }
  StartKeySequence(sequence, {skDown});
  Handled = true;
}

void TwmMainPage::wmMainPagewmPostKeyboardUpAction(TWebActionItem&, TWebRequest& Request, TWebResponse&,
                                                   bool& Handled) {
  const std::u16string sequence = KeyboardValue(Request);
  if (!sequence.empty()) GetHeldInputs().KeysUp(RequesterOf(Request).Page, sequence);
  StartKeySequence(sequence, {skUp});
  Handled = true;
}

// GetvJoy is asked for every operation: it creates the joystick object on first use, and a
// failed creation (version mismatch) raises before any button is touched.
void TwmMainPage::wmMainPagewmPostButtonsPressAction(TWebActionItem&, TWebRequest& Request, TWebResponse&, bool&) {
  if (GetPageInfo().NoJoystick()) return;
  // Ids that wrap to the same button press it once, and only the joystick's 128 buttons are
  // held, so one request keeps its module for at most 128 holds.
  std::vector<std::uint8_t> pressed;
  for (std::int32_t id : ButtonsIdsFromString(Request.QueryFields().Values(u"str"))) {
    const std::uint8_t button = ButtonNr(id);
    if (std::find(pressed.begin(), pressed.end(), button) != pressed.end()) continue;
    pressed.push_back(button);
    GetvJoy().ButtonDown(button);
    // Long enough for the game to see the button held.
    if (button >= 1 && button <= kMaxJoystickButton) GetKeyboard()->Sleep(kButtonPressMilliseconds);
    GetvJoy().ButtonUp(button);
  }
}

// Without a joystick (the window's "No joystick (keys only)") the joystick routes do nothing.
void TwmMainPage::wmMainPagewmPostButtonsDownAction(TWebActionItem&, TWebRequest& Request, TWebResponse&, bool&) {
  if (GetPageInfo().NoJoystick()) return;
  std::vector<std::uint8_t> buttons;
  for (std::int32_t id : ButtonsIdsFromString(Request.QueryFields().Values(u"str"))) {
    GetvJoy().ButtonDown(ButtonNr(id));
    buttons.push_back(ButtonNr(id));
  }
  if (!buttons.empty()) {
    const TRequester from = RequesterOf(Request);
    GetHeldInputs().ButtonsDown(from.Page, from.Device, buttons);
  }
}

void TwmMainPage::wmMainPagewmPostButtonsUpAction(TWebActionItem&, TWebRequest& Request, TWebResponse&, bool&) {
  if (GetPageInfo().NoJoystick()) return;
  std::vector<std::uint8_t> buttons;
  for (std::int32_t id : ButtonsIdsFromString(Request.QueryFields().Values(u"str"))) {
    GetvJoy().ButtonUp(ButtonNr(id));
    buttons.push_back(ButtonNr(id));
  }
  if (!buttons.empty()) GetHeldInputs().ButtonsUp(RequesterOf(Request).Page, buttons);
}

TWebModuleClass MainPageModuleClass(std::u16string ABaseDir) {
  // The page is open to everyone (a phone must load it to pair); what acts on the PC is not.
  std::vector<std::u16string> acting(std::begin(TwmMainPage::kInputRoutePaths), std::end(TwmMainPage::kInputRoutePaths));
  for (std::u16string& path : ActingGamePaths()) acting.push_back(std::move(path));
  auto guard = std::make_shared<const TRequestGuard>(std::move(acting), LocalHostName(), LocalDnsSuffixes());
  // A forgotten phone's pages are gone: what they hold goes up.
  GetDeviceStore().SetForgetListener([](const std::vector<std::string>& AIds) {
    for (const std::string& id : AIds) GetHeldInputs().DeviceForgotten(id);
  });
  return TWebModuleClass([dir = std::move(ABaseDir)] { return std::make_unique<TwmMainPage>(dir); },
                         [guard](const TWebRequest& ARequest) { return AdmitsToMainPage(*guard, ARequest); },
                         [](TWebRequest& ARequest, TWebResponse& AResponse) {
                           // The live stream stays open: it is served without a web-module instance.
                           if (!SameText(ARequest.PathInfo(), kEventsPath) || ARequest.MethodType() != mtGet) return false;
                           GetEventStreams().Serve(ARequest, AResponse);
                           return true;
                         });
}

bool AdmitsToMainPage(const TRequestGuard& AGuard, const TWebRequest& ARequest) {
  const std::u16string& path = ARequest.PathInfo();
  // The editor reads and writes the panel: only a browser on this PC itself, through the
  // loopback address (another address of the PC could be claimed by a neighbour), on a page of
  // this service and not inside a frame.
  if (TPanelEditor::IsEditorPath(path))
    return IsLoopbackAddress(ARequest.PeerAddress()) && AGuard.AdmitsToGuardedRoute(ARequest) &&
           !SameTextBytes(ARequest.GetFieldByName("Sec-Fetch-Dest"), "iframe");
  // Pairing hands out credentials: only to a page of this service, which a browser proves with
  // the Origin it sends with every POST.
  if (SameText(path, kPairPath))
    return TRequestGuard::HasOwnOrigin(ARequest.Headers()) && AGuard.AdmitsToGuardedRoute(ARequest);
  // Read-only, and a page's own: the page's state, its heartbeat and the live stream.
  if (SameText(path, kDevicePath) || SameText(path, kAlivePath) || SameText(path, kEventsPath))
    return AGuard.AdmitsToGuardedRoute(ARequest);
  if (AGuard.Guards(path)) return AGuard.AdmitsToGuardedRoute(ARequest) && MayAct(ARequest, GetDeviceStore());
  return true;
}
