#include "web/uWebRequestHandler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/web/WebTestSupport.h"

namespace {

using Names = std::vector<std::u16string>;

// A module whose items record which of them ran; each item's behaviour is set per test.
class TRecordingModule : public TWebModule {
 public:
  TWebActionItem& AddItem(std::u16string name, std::u16string path, TMethodType method = mtAny,
                          std::function<void(bool&)> body = {}) {
    TWebActionItem& item = Actions().Add();
    item.SetName(name);
    item.SetPathInfo(path);
    item.SetMethodType(method);
    item.SetOnAction([this, body](TWebActionItem& sender, TWebRequest&, TWebResponse&, bool& handled) {
      Ran.push_back(sender.Name());
      if (body) body(handled);
    });
    return item;
  }
  Names Ran;
};

// A module whose one item is the default, running the given handler.
void SetDefaultRoute(TWebModule& module, THTTPMethodEvent handler) {
  TWebActionItem& item = module.Actions().Add();
  item.SetDefault(true);
  item.SetOnAction(std::move(handler));
}

TEST(TWebActionItem, StoresPathsWithForwardSlashesAndALeadingSlash) {
  TWebActionItems items;
  TWebActionItem& item = items.Add();
  EXPECT_EQ(item.PathInfo(), u"/");
  const struct {
    const char16_t* given;
    const char16_t* stored;
  } cases[] = {{u"KeyboardKey", u"/KeyboardKey"}, {u"/KeyboardKey", u"/KeyboardKey"},
               {u"\\a\\b", u"/a/b"},           {u"a\\b", u"/a/b"},
               {u"", u"/"}};
  for (const auto& c : cases) {
    item.SetPathInfo(c.given);
    EXPECT_EQ(item.PathInfo(), c.stored);
  }
  EXPECT_EQ(item.MethodType(), mtAny);
  EXPECT_TRUE(item.Enabled());
  EXPECT_FALSE(item.Default());
}

TEST(TWebActionItem, MarkingOneDefaultClearsTheOthers) {
  TWebActionItems items;
  TWebActionItem& a = items.Add();
  TWebActionItem& b = items.Add();
  a.SetDefault(true);
  b.SetDefault(true);
  EXPECT_FALSE(a.Default());
  EXPECT_TRUE(b.Default());
  EXPECT_EQ(items.DefaultItem(), &b);
  b.SetDefault(false);
  EXPECT_EQ(items.DefaultItem(), nullptr);
}

TEST(TWebActionItem, NamesAreUniqueWithoutRegardToCase) {
  TWebActionItems items;
  items.Add().SetName(u"Page");
  TWebActionItem& other = items.Add();
  EXPECT_THROW(other.SetName(u"PAGE"), Exception);
  other.SetName(u"Other");
  other.SetName(u"other");
  EXPECT_EQ(items.FindItem(u"OTHER"), &other);
}

TEST(TWebActionItem, MatchesTheWholePathUpToAsciiCase) {
  TWebActionItems items;
  TWebActionItem& item = items.Add();
  item.SetPathInfo(u"/KeyboardKey");
  EXPECT_TRUE(item.Matches(mtGet, u"/keyboardKEY"));
  EXPECT_FALSE(item.Matches(mtGet, u"/KeyboardKey/"));
  EXPECT_FALSE(item.Matches(mtGet, u"/KeyboardKeys"));
  EXPECT_FALSE(item.Matches(mtGet, u"KeyboardKey"));
  item.SetPathInfo(u"/\u00e9");
  EXPECT_FALSE(item.Matches(mtGet, u"/\u00c9"));  // only ASCII letters fold
  item.SetPathInfo(u"/");
  EXPECT_TRUE(item.Matches(mtGet, u""));
  EXPECT_TRUE(item.Matches(mtGet, u"/"));
  item.SetMethodType(mtPost);
  EXPECT_FALSE(item.Matches(mtGet, u"/"));
  EXPECT_TRUE(item.Matches(mtPost, u"/"));
  item.SetEnabled(false);
  EXPECT_FALSE(item.Matches(mtPost, u"/"));
}

TEST(TWebModuleDispatch, FirstHandlingItemWinsThenTheDefault) {
  TRecordingModule module;
  module.AddItem(u"Declines", u"/x", mtAny, [](bool& handled) { handled = false; });
  module.AddItem(u"Takes", u"/x");
  module.AddItem(u"Later", u"/x");
  module.AddItem(u"Fallback", u"/", mtGet).SetDefault(true);

  TCapturedResponse captured;
  auto request = MakeRequest(u"GET", u"/X");
  auto response = CapturingResponse(captured);
  EXPECT_TRUE(module.DispatchAction(request, response));
  EXPECT_EQ(module.Ran, (Names{u"Declines", u"Takes"}));
  EXPECT_EQ(captured.Writes, 1);
  EXPECT_EQ(captured.StatusCode, 200);
}

TEST(TWebModuleDispatch, DefaultRunsLastWhateverItsMethodAndEnabled) {
  TRecordingModule module;
  TWebActionItem& fallback = module.AddItem(u"Fallback", u"/", mtGet);
  fallback.SetDefault(true);
  fallback.SetEnabled(false);
  module.AddItem(u"Other", u"/other");

  auto request = MakeRequest(u"POST", u"/anything");
  TWebResponse response;
  EXPECT_TRUE(module.DispatchAction(request, response));
  EXPECT_EQ(module.Ran, (Names{u"Fallback"}));
  EXPECT_TRUE(response.Sent());
}

TEST(TWebModuleDispatch, NothingHandledLeavesTheResponseUnsent) {
  TRecordingModule module;
  module.AddItem(u"Declines", u"/", mtAny, [](bool& handled) { handled = false; }).SetDefault(true);
  TCapturedResponse captured;
  auto request = MakeRequest(u"GET", u"/");
  auto response = CapturingResponse(captured);
  EXPECT_FALSE(module.DispatchAction(request, response));
  // Tried once in the first pass and once more as the default.
  EXPECT_EQ(module.Ran, (Names{u"Declines", u"Declines"}));
  EXPECT_EQ(captured.Writes, 0);
  EXPECT_FALSE(response.Sent());
}

TEST(TWebModuleDispatch, AFailingRouteGetsTheEscapedErrorPage) {
  TRecordingModule module;
  module.AddItem(u"Fails", u"/", mtAny, [](bool&) { throw Exception(u"Bad <b>&\"x\" 'y'"); }).SetDefault(true);
  TCapturedResponse captured;
  auto request = MakeRequest(u"GET", u"/<script>alert('x')</script>");
  auto response = CapturingResponse(captured);
  EXPECT_TRUE(module.DispatchAction(request, response));
  EXPECT_EQ(captured.Writes, 1);
  EXPECT_EQ(captured.StatusCode, 500);
  EXPECT_EQ(captured.Content,
            u"<html><body><h1>Internal Application Error</h1>\r\n"
            u"<p>Bad &lt;b&gt;&amp;&quot;x&quot; &#39;y&#39;\r\n"
            u"<p><hr width=\"100%\"><i>/&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;</i></body></html>");
}

TEST(TWebModuleDispatch, ErrorPageKeepsTheRootPath) {
  EXPECT_EQ(ErrorPageText(u"Oops", u"/"),
            u"<html><body><h1>Internal Application Error</h1>\r\n<p>Oops\r\n<p><hr width=\"100%\"><i>/</i></body></html>");
}

TEST(TWebModuleDispatch, ErrorsWithoutOurBaseStillGetAMessage) {
  TRecordingModule module;
  module.AddItem(u"Fails", u"/", mtAny, [](bool&) { throw std::runtime_error("plain failure"); }).SetDefault(true);
  auto request = MakeRequest(u"GET", u"/");
  TWebResponse response;
  EXPECT_TRUE(module.DispatchAction(request, response));
  EXPECT_EQ(response.StatusCode(), 500);
  EXPECT_NE(response.Content().find(u"<p>plain failure\r\n"), std::u16string::npos);
}

TEST(TWebModuleDispatch, AnAlreadySentResponseKeepsItsStatus) {
  TWebModule module;
  SetDefaultRoute(module, [](TWebActionItem&, TWebRequest&, TWebResponse& response, bool&) {
    response.SendResponse();
    throw Exception(u"late");
  });
  TCapturedResponse captured;
  auto request = MakeRequest(u"GET", u"/");
  auto response = CapturingResponse(captured);
  module.DispatchAction(request, response);
  EXPECT_EQ(captured.Writes, 1);
  EXPECT_EQ(response.StatusCode(), 200);
  EXPECT_NE(response.Content().find(u"<p>late\r\n"), std::u16string::npos);
}

TEST(TWebModuleDispatch, AFailingWriterDoesNotEscape) {
  TWebModule module;
  SetDefaultRoute(module, [](TWebActionItem&, TWebRequest&, TWebResponse&, bool&) {});
  auto request = MakeRequest(u"GET", u"/");
  TWebResponse response([](TWebResponse&) { throw Exception(u"connection reset"); });
  EXPECT_TRUE(module.DispatchAction(request, response));
  EXPECT_TRUE(response.Sent());
  EXPECT_EQ(response.StatusCode(), 200);  // already sent when the writer failed
}

// --- The pool ---

struct TProbeContext {
  std::atomic<int> Created{0};
  std::atomic<int> Destroyed{0};
  std::function<void(TWebModule&, TWebRequest&)> OnRoute;
};

// Every request runs its one default item, which hands over to the test.
class TProbeModule : public TWebModule {
 public:
  explicit TProbeModule(TProbeContext& ctx) {
    SetOnCreate([&ctx](TWebModule&) { ++ctx.Created; });
    SetOnDestroy([&ctx](TWebModule&) { ++ctx.Destroyed; });
    SetDefaultRoute(*this, [this, &ctx](TWebActionItem&, TWebRequest& request, TWebResponse&, bool&) {
      if (ctx.OnRoute) ctx.OnRoute(*this, request);
    });
  }
};

TWebModuleClass ProbeClass(TProbeContext& ctx) {
  return [&ctx] { return std::make_unique<TProbeModule>(ctx); };
}

bool Serve(TWebRequestHandler& handler, const std::u16string& path = u"/") {
  auto request = MakeRequest(u"GET", path);
  TWebResponse response;
  return handler.HandleRequest(request, response);
}

void ExpectHandlerError(TWebRequestHandler& handler, const std::u16string& message) {
  try {
    Serve(handler);
    ADD_FAILURE() << "no error";
  } catch (const EWebRequestHandlerError& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

TEST(TWebRequestHandler, HasTheDocumentedDefaults) {
  TWebRequestHandler handler;
  EXPECT_EQ(handler.MaxConnections(), 32);
  EXPECT_TRUE(handler.CacheConnections());
  EXPECT_FALSE(handler.WebModuleClass());
}

TEST(TWebRequestHandler, WithoutAModuleClassNothingIsServed) {
  TWebRequestHandler handler;
  ExpectHandlerError(handler, u"No data modules registered");
}

TEST(TWebRequestHandler, ReusesOneInstanceForSequentialRequests) {
  TProbeContext ctx;
  std::vector<TWebModule*> used;
  ctx.OnRoute = [&](TWebModule& m, TWebRequest&) { used.push_back(&m); };
  {
    TWebRequestHandler handler;
    handler.SetWebModuleClass(ProbeClass(ctx));
    EXPECT_TRUE(Serve(handler));
    EXPECT_TRUE(Serve(handler));
    EXPECT_EQ(ctx.Created, 1);
    EXPECT_EQ(handler.ActiveCount(), 0);
    EXPECT_EQ(handler.InactiveCount(), 1);
    EXPECT_EQ(ctx.Destroyed, 0);
  }
  ASSERT_EQ(used.size(), 2u);
  EXPECT_EQ(used[0], used[1]);
  EXPECT_EQ(ctx.Destroyed, 1);
}

TEST(TWebRequestHandler, GivesTheInstanceBackWhenTheRouteFails) {
  TProbeContext ctx;
  ctx.OnRoute = [](TWebModule&, TWebRequest&) { throw Exception(u"route failed"); };
  TWebRequestHandler handler;
  handler.SetWebModuleClass(ProbeClass(ctx));
  auto request = MakeRequest(u"GET", u"/");
  TWebResponse response;
  EXPECT_TRUE(handler.HandleRequest(request, response));
  EXPECT_EQ(response.StatusCode(), 500);
  EXPECT_EQ(handler.ActiveCount(), 0);
  EXPECT_EQ(handler.InactiveCount(), 1);
}

TEST(TWebRequestHandler, WithoutCachingEveryInstanceIsDestroyedAfterItsRequest) {
  TProbeContext ctx;
  TWebRequestHandler handler;
  handler.SetWebModuleClass(ProbeClass(ctx));
  handler.SetCacheConnections(false);
  Serve(handler);
  Serve(handler);
  EXPECT_EQ(ctx.Created, 2);
  EXPECT_EQ(ctx.Destroyed, 2);
  EXPECT_EQ(handler.InactiveCount(), 0);
}

TEST(TWebRequestHandlerConcurrent, The33rdRequestGetsThePoolError) {
  constexpr int kMax = 32;
  TProbeContext ctx;
  std::latch entered(kMax);
  std::latch release(1);
  ctx.OnRoute = [&](TWebModule&, TWebRequest&) {
    entered.count_down();
    release.wait();
  };
  std::atomic<int> failures{0};
  {
    TWebRequestHandler handler;
    handler.SetWebModuleClass(ProbeClass(ctx));
    std::vector<std::thread> threads;
    for (int i = 0; i < kMax; ++i)
      threads.emplace_back([&] {
        try {
          if (!Serve(handler)) ++failures;
        } catch (...) {
          ++failures;
        }
      });
    entered.wait();
    EXPECT_EQ(handler.ActiveCount(), kMax);
    ExpectHandlerError(handler, u"Maximum number of concurrent connections exceeded.  Please try again later");
    release.count_down();
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(handler.ActiveCount(), 0);
    EXPECT_EQ(handler.InactiveCount(), kMax);
    EXPECT_EQ(ctx.Created, kMax);

    // Once they are back, requests are served again without new instances.
    ctx.OnRoute = {};
    EXPECT_TRUE(Serve(handler));
    EXPECT_EQ(ctx.Created, kMax);
  }
  EXPECT_EQ(ctx.Destroyed, kMax);
}

TEST(TWebRequestHandlerConcurrent, TheInstanceIdleFirstIsReusedFirst) {
  TProbeContext ctx;
  std::latch aEntered(1), bEntered(1), releaseA(1), releaseB(1);
  std::mutex usedLock;
  std::vector<std::pair<std::u16string, TWebModule*>> used;
  ctx.OnRoute = [&](TWebModule& m, TWebRequest& request) {
    {
      std::lock_guard lock(usedLock);
      used.emplace_back(request.PathInfo(), &m);
    }
    if (request.PathInfo() == u"/a") {
      aEntered.count_down();
      releaseA.wait();
    } else if (request.PathInfo() == u"/b") {
      bEntered.count_down();
      releaseB.wait();
    }
  };
  TWebRequestHandler handler;
  handler.SetWebModuleClass(ProbeClass(ctx));

  std::thread a([&] { Serve(handler, u"/a"); });
  aEntered.wait();
  std::thread b([&] { Serve(handler, u"/b"); });
  bEntered.wait();
  EXPECT_EQ(handler.ActiveCount(), 2);
  EXPECT_EQ(ctx.Created, 2);
  releaseB.count_down();
  b.join();
  releaseA.count_down();
  a.join();
  EXPECT_EQ(handler.InactiveCount(), 2);

  Serve(handler, u"/c");
  EXPECT_EQ(ctx.Created, 2);
  ASSERT_EQ(used.size(), 3u);
  EXPECT_NE(used[0].second, used[1].second);
  EXPECT_EQ(used[2].first, u"/c");
  EXPECT_EQ(used[2].second, used[1].second);  // the "/b" instance went idle first
}

TEST(TWebRequestHandler, TheProcessWideHandlerIsOneObject) {
  EXPECT_EQ(&WebRequestHandler(), &WebRequestHandler());
  EXPECT_EQ(WebRequestHandler().MaxConnections(), 32);
}

}  // namespace
