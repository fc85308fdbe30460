#include "web/uMainPage.h"

#include <mutex>

#include "base/uFiles.h"
#include "base/uStrings.h"
#include "base/uText.h"
#include "page/uPageInfo.h"

namespace {

std::u16string WithFinalSeparator(std::u16string dir) {
  if (!dir.empty() && dir.back() != u'/' && dir.back() != PathDelimiter()) dir.push_back(PathDelimiter());
  return dir;
}

}  // namespace

TwmMainPage::TwmMainPage() : TwmMainPage(std::u16string()) {}

TwmMainPage::TwmMainPage(std::u16string ABaseDir) : FBaseDir(WithFinalSeparator(std::move(ABaseDir))) {
  struct TRoute {
    const char16_t* Name;
    const char16_t* PathInfo;
    TMethodType MethodType;
    void (TwmMainPage::*Handler)(TWebActionItem&, TWebRequest&, TWebResponse&, bool&);
  };
  static constexpr TRoute kRoutes[] = {
      {u"DefaultHandler", u"/", mtGet, &TwmMainPage::WebModule2DefaultHandlerAction},
      {u"wmPostKeyboardKey", u"/KeyboardKey", mtAny, &TwmMainPage::wmMainPagewmPostKeyboardKeyAction},
      {u"wmPostKeyboardDown", u"/KeyboardDown", mtAny, &TwmMainPage::wmMainPagewmPostKeyboardDownAction},
      {u"wmPostKeyboardUp", u"/KeyboardUp", mtAny, &TwmMainPage::wmMainPagewmPostKeyboardUpAction},
      {u"wmPostButtonsPress", u"/ButtonsPress", mtAny, &TwmMainPage::wmMainPagewmPostButtonsPressAction},
      {u"wmPostButtonsDown", u"/ButtonsDown", mtAny, &TwmMainPage::wmMainPagewmPostButtonsDownAction},
      {u"wmPostButtonsUp", u"/ButtonsUp", mtAny, &TwmMainPage::wmMainPagewmPostButtonsUpAction},
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
  FBasePath = FBaseDir.empty() ? ExtractFilePath(ExecutablePath()) : FBaseDir;
}

void TwmMainPage::WebModuleDestroy(TWebModule&) {}

void TwmMainPage::WebModule2DefaultHandlerAction(TWebActionItem&, TWebRequest&, TWebResponse& Response,
                                                 bool& Handled) {
  const std::u16string templateName = FBasePath + u"index.html";
  if (!FileExists(templateName)) return;
  TStrings lines;
  lines.LoadFromFile(templateName);
  {
    // The reload replaces the companion files' lines that the filling reads, so other page
    // requests must not come between the two.
    TPageInfo& pageInfo = GetPageInfo();
    std::lock_guard lock(pageInfo.RequestLock());
    pageInfo.LoadExternalFiles(FBasePath);
    pageInfo.ReplaceStrings(lines);
  }
  auto stream = std::make_unique<TMemoryStream>();
  stream->Write(lines.SaveToBytes());
  Handled = SetResponseStream(std::move(stream), u"text/html", Response);
}

bool TwmMainPage::SetResponseStream(std::unique_ptr<TMemoryStream> AStream, const std::u16string& AContentType,
                                    TWebResponse& AResponse) {
  AStream->SetPosition(0);
  AResponse.SetContentStream(std::move(AStream));
  // Content types are single-byte text on the wire.
  AResponse.SetContentType(AnsiToUtf16(Utf16ToAnsi(AContentType)));
  return true;
}

void TwmMainPage::wmMainPagewmPostKeyboardKeyAction(TWebActionItem&, TWebRequest&, TWebResponse&, bool& Handled) {
  Handled = true;
}

void TwmMainPage::wmMainPagewmPostKeyboardDownAction(TWebActionItem&, TWebRequest&, TWebResponse&, bool& Handled) {
  Handled = true;
}

void TwmMainPage::wmMainPagewmPostKeyboardUpAction(TWebActionItem&, TWebRequest&, TWebResponse&, bool& Handled) {
  Handled = true;
}

void TwmMainPage::wmMainPagewmPostButtonsPressAction(TWebActionItem&, TWebRequest&, TWebResponse&, bool&) {}

void TwmMainPage::wmMainPagewmPostButtonsDownAction(TWebActionItem&, TWebRequest&, TWebResponse&, bool&) {}

void TwmMainPage::wmMainPagewmPostButtonsUpAction(TWebActionItem&, TWebRequest&, TWebResponse&, bool&) {}

TWebModuleClass MainPageModuleClass(std::u16string ABaseDir) {
  return [dir = std::move(ABaseDir)] { return std::make_unique<TwmMainPage>(dir); };
}
