#include "web/uWebRequestHandler.h"

#include <algorithm>

#include "base/uText.h"

namespace {

// Route patterns and request paths treat "/" as the empty path.
std::u16string_view RootAsEmpty(std::u16string_view path) { return path == u"/" ? std::u16string_view() : path; }

// The error page shows texts that come from the client (the path, messages that quote
// field values), so they must not be able to inject markup.
std::u16string HtmlEscape(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (const char16_t ch : text) {
    switch (ch) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      case u'\'': out += u"&#39;"; break;
      default: out.push_back(ch);
    }
  }
  return out;
}

void RunHook(const TWebModuleEvent& hook, TWebModule& module) {
  if (hook) hook(module);
}

// Destroys instances that leave the pool, running their OnDestroy first; a failing hook
// must not keep the others from being destroyed.
void DestroyModule(std::unique_ptr<TWebModule> module) {
  try {
    module->DoDestroy();
  } catch (...) {
  }
}

}  // namespace

// --- TWebActionItem ---

void TWebActionItem::SetName(std::u16string AValue) {
  const TWebActionItem* other = FOwner.FindItem(AValue);
  if (other != nullptr && other != this) throw Exception(u"Duplicate action name: " + AValue);
  FName = std::move(AValue);
}

void TWebActionItem::SetPathInfo(std::u16string_view AValue) {
  std::u16string path(AValue);
  std::replace(path.begin(), path.end(), u'\\', u'/');
  if (!path.starts_with(u'/')) path.insert(path.begin(), u'/');
  FPathInfo = std::move(path);
}

void TWebActionItem::SetDefault(bool AValue) {
  if (AValue)
    for (const auto& item : FOwner.FItems) item->FDefault = false;
  FDefault = AValue;
}

bool TWebActionItem::Matches(TMethodType AMethod, std::u16string_view APathInfo) const {
  return FEnabled && (FMethodType == mtAny || FMethodType == AMethod) &&
         SameText(RootAsEmpty(FPathInfo), RootAsEmpty(APathInfo));
}

bool TWebActionItem::DispatchAction(TWebRequest& ARequest, TWebResponse& AResponse, bool ADoDefault) {
  if (!FOnAction) return false;
  if (!ADoDefault && !Matches(ARequest.MethodType(), ARequest.PathInfo())) return false;
  bool handled = true;
  FOnAction(*this, ARequest, AResponse, handled);
  return handled;
}

// --- TWebActionItems ---

TWebActionItem& TWebActionItems::Add() {
  FItems.push_back(std::unique_ptr<TWebActionItem>(new TWebActionItem(*this)));
  return *FItems.back();
}

TWebActionItem& TWebActionItems::Items(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count())
    throw EListError(u"List index out of bounds (" + IntToStr(AIndex) + u")");
  return *FItems[static_cast<std::size_t>(AIndex)];
}

TWebActionItem* TWebActionItems::FindItem(std::u16string_view AName) const {
  for (const auto& item : FItems)
    if (SameText(item->Name(), AName)) return item.get();
  return nullptr;
}

TWebActionItem* TWebActionItems::DefaultItem() const {
  for (const auto& item : FItems)
    if (item->Default()) return item.get();
  return nullptr;
}

// --- TWebModule ---

std::u16string ErrorPageText(std::u16string_view AMessage, std::u16string_view APathInfo) {
  return u"<html><body><h1>Internal Application Error</h1>\r\n<p>" + HtmlEscape(AMessage) +
         u"\r\n<p><hr width=\"100%\"><i>" + HtmlEscape(APathInfo) + u"</i></body></html>";
}

bool TWebModule::DispatchAction(TWebRequest& ARequest, TWebResponse& AResponse) {
  std::u16string message;
  try {
    bool handled = false;
    for (int i = 0; i < FActions.Count() && !handled; ++i)
      handled = FActions.Items(i).DispatchAction(ARequest, AResponse, false);
    if (!handled)
      if (TWebActionItem* item = FActions.DefaultItem()) handled = item->DispatchAction(ARequest, AResponse, true);
    if (handled && !AResponse.Sent()) AResponse.SendResponse();
    return handled;
  } catch (const Exception& e) {
    message = e.Message();
  } catch (const std::exception& e) {
    message = Utf8ToUtf16(e.what());
  } catch (...) {
    message = u"Unknown error";
  }
  AResponse.SetContent(ErrorPageText(message, ARequest.PathInfo()));
  if (!AResponse.Sent()) {
    AResponse.SetStatusCode(500);
    // A writer that fails has lost its connection; there is nobody left to tell.
    try {
      AResponse.SendResponse();
    } catch (...) {
    }
  }
  return true;
}

void TWebModule::DoCreate() { RunHook(FOnCreate, *this); }

void TWebModule::DoDestroy() { RunHook(FOnDestroy, *this); }

// --- TWebRequestHandler ---

TWebRequestHandler::~TWebRequestHandler() {
  std::vector<std::unique_ptr<TWebModule>> all;
  {
    std::lock_guard lock(FLock);
    for (auto& m : FActiveList) all.push_back(std::move(m));
    for (auto& m : FInactiveList) all.push_back(std::move(m));
    FActiveList.clear();
    FInactiveList.clear();
  }
  for (auto& m : all) DestroyModule(std::move(m));
}

TWebModuleClass TWebRequestHandler::WebModuleClass() const {
  std::lock_guard lock(FLock);
  return FWebModuleClass;
}

void TWebRequestHandler::SetWebModuleClass(TWebModuleClass AValue) {
  std::lock_guard lock(FLock);
  FWebModuleClass = std::move(AValue);
}

std::int32_t TWebRequestHandler::MaxConnections() const {
  std::lock_guard lock(FLock);
  return FMaxConnections;
}

void TWebRequestHandler::SetMaxConnections(std::int32_t AValue) {
  std::lock_guard lock(FLock);
  FMaxConnections = AValue;
}

bool TWebRequestHandler::CacheConnections() const {
  std::lock_guard lock(FLock);
  return FCacheConnections;
}

void TWebRequestHandler::SetCacheConnections(bool AValue) {
  std::lock_guard lock(FLock);
  FCacheConnections = AValue;
}

int TWebRequestHandler::ActiveCount() const {
  std::lock_guard lock(FLock);
  return static_cast<int>(FActiveList.size());
}

int TWebRequestHandler::InactiveCount() const {
  std::lock_guard lock(FLock);
  return static_cast<int>(FInactiveList.size());
}

TWebModule& TWebRequestHandler::ActivateWebModule() {
  std::lock_guard lock(FLock);
  if (static_cast<std::int64_t>(FActiveList.size()) >= FMaxConnections)
    throw EWebRequestHandlerError(u"Maximum number of concurrent connections exceeded.  Please try again later");
  std::unique_ptr<TWebModule> module;
  if (!FInactiveList.empty()) {
    module = std::move(FInactiveList.front());
    FInactiveList.pop_front();
  } else {
    if (!FWebModuleClass) throw EWebRequestHandlerError(u"No data modules registered");
    module = FWebModuleClass();
    if (!module) throw EWebRequestHandlerError(u"No data modules registered");
    module->DoCreate();
  }
  FActiveList.push_back(std::move(module));
  return *FActiveList.back();
}

void TWebRequestHandler::DeactivateWebModule(TWebModule& AModule) {
  std::unique_ptr<TWebModule> released;
  {
    std::lock_guard lock(FLock);
    const auto it = std::find_if(FActiveList.begin(), FActiveList.end(),
                                 [&](const auto& m) { return m.get() == &AModule; });
    if (it == FActiveList.end()) return;
    released = std::move(*it);
    FActiveList.erase(it);
    if (FCacheConnections) {
      FInactiveList.push_back(std::move(released));
      return;
    }
  }
  DestroyModule(std::move(released));
}

bool TWebRequestHandler::HandleRequest(TWebRequest& ARequest, TWebResponse& AResponse) {
  TRequestAdmission admission;
  TDirectRoute direct;
  {
    std::lock_guard lock(FLock);
    admission = FWebModuleClass.Admission();
    direct = FWebModuleClass.Direct();
  }
  // Decided before an instance is taken, so a refused request leaves the pool as it was.
  if (admission && !admission(ARequest)) throw EWebRequestForbidden(u"Forbidden");
  if (direct && direct(ARequest, AResponse)) return true;
  TWebModule& module = ActivateWebModule();
  // Given back on every way out, also when the route failed.
  struct GiveBack {
    TWebRequestHandler& handler;
    TWebModule& module;
    ~GiveBack() { handler.DeactivateWebModule(module); }
  } giveBack{*this, module};
  return module.DispatchAction(ARequest, AResponse);
}

TWebRequestHandler& WebRequestHandler() {
  static TWebRequestHandler handler;
  return handler;
}
