#pragma once
// Request dispatch: the route table of a web module, the matching of a request against it,
// the error page of a failing route, and the pool of web-module instances that serve
// requests on the connection threads.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "base/uErrors.h"
#include "web/uWebRequest.h"

class TWebActionItem;
class TWebActionItems;
class TWebModule;

// A route handler: Handled is true on entry; a handler that fails raises.
using THTTPMethodEvent = std::function<void(TWebActionItem& Sender, TWebRequest& Request,
                                            TWebResponse& Response, bool& Handled)>;
using TWebModuleEvent = std::function<void(TWebModule& Sender)>;

// Taking a web-module instance failed: all busy, or no module class registered.
class EWebRequestHandlerError : public Exception {
  using Exception::Exception;
};

// The module class's admission check refused the request; no instance was taken.
class EWebRequestForbidden : public Exception {
  using Exception::Exception;
};

// One entry of a route table.
class TWebActionItem {
 public:
  TWebActionItem(const TWebActionItem&) = delete;
  TWebActionItem& operator=(const TWebActionItem&) = delete;

  const std::u16string& Name() const { return FName; }
  // Names are unique within the table without regard to ASCII letter case; a clash raises.
  void SetName(std::u16string AValue);
  const std::u16string& PathInfo() const { return FPathInfo; }
  // Stored with every "\" turned into "/" and a leading "/".
  void SetPathInfo(std::u16string_view AValue);
  TMethodType MethodType() const { return FMethodType; }
  void SetMethodType(TMethodType AValue) { FMethodType = AValue; }
  bool Default() const { return FDefault; }
  // Marking one item as the default clears the mark on every other item of its table.
  void SetDefault(bool AValue);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AValue) { FEnabled = AValue; }
  const THTTPMethodEvent& OnAction() const { return FOnAction; }
  void SetOnAction(THTTPMethodEvent AValue) { FOnAction = std::move(AValue); }

  // Whether this item takes a request with that method and path: enabled, of a fitting
  // method, and a pattern equal to the whole path up to ASCII letter case ("/" counts as
  // empty on both sides).
  bool Matches(TMethodType AMethod, std::u16string_view APathInfo) const;
  // Runs the item when it matches, or in any case when tried as the default; reports
  // whether the request was handled. An item without a handler handles nothing.
  bool DispatchAction(TWebRequest& ARequest, TWebResponse& AResponse, bool ADoDefault);

 private:
  friend class TWebActionItems;
  explicit TWebActionItem(TWebActionItems& AOwner) : FOwner(AOwner) {}

  TWebActionItems& FOwner;
  std::u16string FName;
  std::u16string FPathInfo = u"/";
  TMethodType FMethodType = mtAny;
  bool FDefault = false;
  bool FEnabled = true;
  THTTPMethodEvent FOnAction;
};

// The ordered route table of a web module; the order decides which item runs.
class TWebActionItems {
 public:
  TWebActionItems() = default;
  TWebActionItems(const TWebActionItems&) = delete;
  TWebActionItems& operator=(const TWebActionItems&) = delete;

  TWebActionItem& Add();
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError for an index outside the table.
  TWebActionItem& Items(int AIndex) const;
  // Null when no item has that name (ASCII case-insensitive).
  TWebActionItem* FindItem(std::u16string_view AName) const;
  // The item marked Default, or null.
  TWebActionItem* DefaultItem() const;

 private:
  friend class TWebActionItem;
  std::vector<std::unique_ptr<TWebActionItem>> FItems;
};

// Base of the web modules: a route table and the hooks run when the request handler
// creates and destroys an instance.
class TWebModule {
 public:
  TWebModule() = default;
  virtual ~TWebModule() = default;
  TWebModule(const TWebModule&) = delete;
  TWebModule& operator=(const TWebModule&) = delete;

  TWebActionItems& Actions() { return FActions; }
  const TWebModuleEvent& OnCreate() const { return FOnCreate; }
  void SetOnCreate(TWebModuleEvent AValue) { FOnCreate = std::move(AValue); }
  const TWebModuleEvent& OnDestroy() const { return FOnDestroy; }
  void SetOnDestroy(TWebModuleEvent AValue) { FOnDestroy = std::move(AValue); }

  // Runs the matching route for one request: every item in table order, then the default
  // item; sends a handled response that is not yet sent; turns a failing route into the
  // error page with status 500. Never raises.
  bool DispatchAction(TWebRequest& ARequest, TWebResponse& AResponse);

  // Called by the request handler right after creation and right before destruction.
  void DoCreate();
  void DoDestroy();

 private:
  TWebActionItems FActions;
  TWebModuleEvent FOnCreate;
  TWebModuleEvent FOnDestroy;
};

// The error page of a failing route, with the message and the path escaped for HTML.
std::u16string ErrorPageText(std::u16string_view AMessage, std::u16string_view APathInfo);

// Whether a request may reach the routes at all; asked before an instance is taken.
using TRequestAdmission = std::function<bool(const TWebRequest& ARequest)>;
// Answers a request without a web-module instance, when it is one of its own (a response that
// stays open must not keep an instance from serving taps); reports whether it answered.
using TDirectRoute = std::function<bool(TWebRequest& ARequest, TWebResponse& AResponse)>;

// Makes a new web-module instance; registered on the request handler at start-up. A module
// class may bring the admission check of its routes.
class TWebModuleClass {
 public:
  TWebModuleClass() = default;
  template <class TCreate>
    requires std::is_invocable_r_v<std::unique_ptr<TWebModule>, TCreate&>
  TWebModuleClass(TCreate ACreate, TRequestAdmission AAdmission = {}, TDirectRoute ADirect = {})
      : FCreate(std::move(ACreate)), FAdmission(std::move(AAdmission)), FDirect(std::move(ADirect)) {}

  explicit operator bool() const { return static_cast<bool>(FCreate); }
  std::unique_ptr<TWebModule> operator()() const { return FCreate(); }
  // Empty when every request is admitted.
  const TRequestAdmission& Admission() const { return FAdmission; }
  // Empty when every admitted request goes to an instance.
  const TDirectRoute& Direct() const { return FDirect; }

 private:
  std::function<std::unique_ptr<TWebModule>()> FCreate;
  TRequestAdmission FAdmission;
  TDirectRoute FDirect;
};

template <class TModule>
TWebModuleClass WebModuleClassOf() {
  return [] { return std::make_unique<TModule>(); };
}

// The pool of web-module instances and the dispatch entry of the HTTP service.
class TWebRequestHandler {
 public:
  TWebRequestHandler() = default;
  // Destroys every instance, active and idle, running each one's OnDestroy.
  ~TWebRequestHandler();
  TWebRequestHandler(const TWebRequestHandler&) = delete;
  TWebRequestHandler& operator=(const TWebRequestHandler&) = delete;

  TWebModuleClass WebModuleClass() const;
  void SetWebModuleClass(TWebModuleClass AValue);
  std::int32_t MaxConnections() const;
  void SetMaxConnections(std::int32_t AValue);
  bool CacheConnections() const;
  void SetCacheConnections(bool AValue);
  // Instances serving a request now, and instances waiting for one.
  int ActiveCount() const;
  int InactiveCount() const;

  // Dispatches one request on an instance of its own. Raises EWebRequestHandlerError
  // "Maximum number of concurrent connections exceeded.  Please try again later" when
  // MaxConnections instances are busy and "No data modules registered" without a module
  // class, and EWebRequestForbidden when the module class does not admit the request;
  // nothing else escapes.
  bool HandleRequest(TWebRequest& ARequest, TWebResponse& AResponse);

 private:
  TWebModule& ActivateWebModule();
  void DeactivateWebModule(TWebModule& AModule);

  mutable std::mutex FLock;
  TWebModuleClass FWebModuleClass;
  std::int32_t FMaxConnections = 32;
  bool FCacheConnections = true;
  std::vector<std::unique_ptr<TWebModule>> FActiveList;
  std::deque<std::unique_ptr<TWebModule>> FInactiveList;  // oldest first
};

// The process-wide request handler, created on first use and destroyed at exit.
TWebRequestHandler& WebRequestHandler();
