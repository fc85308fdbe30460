#pragma once
// TwmMainPage: the web module of this program. Its route table holds the page route (the
// default item, taking every request no input route takes) and the six input routes.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/uStreams.h"
#include "web/uRouteAnswer.h"
#include "web/uWebRequestHandler.h"

class TRequestGuard;

class TwmMainPage : public TWebModule {
 public:
  // Pages are read from the executable's directory.
  TwmMainPage();
  // Pages are read from ABaseDir instead (tapdeck-headless --dir, tests); a missing final
  // separator is added. Empty: the executable's directory.
  explicit TwmMainPage(std::u16string ABaseDir);

  // The directory the page files are read from, ending with the separator: the one given,
  // or the executable's, which WebModuleCreate finds.
  const std::u16string& BasePath() const { return FBasePath; }

  void WebModuleCreate(TWebModule& Sender);
  void WebModuleDestroy(TWebModule& Sender);

  // The page: index.html with its placeholders filled, as "text/html". Without a template
  // nothing is set and the client gets an empty 200. The panel editor's paths ("/edit" and
  // under "/edit/", see TPanelEditor) get the editor's answers instead.
  void WebModule2DefaultHandlerAction(TWebActionItem& Sender, TWebRequest& Request, TWebResponse& Response,
                                      bool& Handled);

  // The keyboard routes: "str" from the query (GET) or the form body (POST), played by a
  // key-sequence worker that the route does not wait for.
  void wmMainPagewmPostKeyboardKeyAction(TWebActionItem& Sender, TWebRequest& Request, TWebResponse& Response,
                                         bool& Handled);
  void wmMainPagewmPostKeyboardDownAction(TWebActionItem& Sender, TWebRequest& Request, TWebResponse& Response,
                                          bool& Handled);
  void wmMainPagewmPostKeyboardUpAction(TWebActionItem& Sender, TWebRequest& Request, TWebResponse& Response,
                                        bool& Handled);
  // The joystick routes: "str" from the query for every method, a list of button ids set
  // on the joystick before the route returns. Press holds each button before the next, with
  // the platform's sleep, which the keyboard interface carries (TKeyboard::Sleep): a
  // recording keyboard whose Sleep only records makes the hold take no time.
  void wmMainPagewmPostButtonsPressAction(TWebActionItem& Sender, TWebRequest& Request, TWebResponse& Response,
                                          bool& Handled);
  void wmMainPagewmPostButtonsDownAction(TWebActionItem& Sender, TWebRequest& Request, TWebResponse& Response,
                                         bool& Handled);
  void wmMainPagewmPostButtonsUpAction(TWebActionItem& Sender, TWebRequest& Request, TWebResponse& Response,
                                       bool& Handled);

  static constexpr int kButtonPressMilliseconds = 30;
  // The joystick's buttons are numbered from 1 to this.
  static constexpr int kMaxJoystickButton = 128;
  // The paths of the six input routes, keyboard then joystick.
  static constexpr const char16_t* kInputRoutePaths[] = {u"/KeyboardKey",  u"/KeyboardDown", u"/KeyboardUp",
                                                         u"/ButtonsPress", u"/ButtonsDown",  u"/ButtonsUp"};

  // The ids of a comma list: every piece converted (-1 when it does not), the positive
  // ones kept once each, in the order of their first appearance.
  static std::vector<std::int32_t> ButtonsIdsFromString(std::u16string_view AText);

 private:
  // The panel editor: the page, the panel in use, check, preview, save and the examples.
  void EditorAction(TWebRequest& Request, TWebResponse& Response, bool& Handled);
  // Status, body and content type of an answer, not to be kept by any cache; always true.
  bool SetAnswer(const TRouteAnswer& AAnswer, TWebResponse& AResponse);
  // Hands a finished body to the response, which owns it from then on; always true.
  bool SetResponseStream(std::unique_ptr<TMemoryStream> AStream, const std::u16string& AContentType,
                         TWebResponse& AResponse);

  std::u16string FBasePath;
};

// The module class to register on a request handler; ABaseDir as for the constructor, empty
// for the executable's directory. Its admission check is AdmitsToMainPage.
TWebModuleClass MainPageModuleClass(std::u16string ABaseDir = {});
// Who may reach what: the page, everyone; input routes, a paired device (or anyone in open
// mode) whose request a browser did not send from another site or to a name that is not this
// PC's; pairing, a page of this service; the editor, a browser on this PC itself through the
// loopback address, not in a frame.
bool AdmitsToMainPage(const TRequestGuard& AGuard, const TWebRequest& ARequest);
