// Google Benchmark: the cost of the page. The built-in page's panel HTML, and the page route's
// whole assembly with the page files beside this program (index.html, script.js, styles.css):
// once as a fresh fill of the template on every request, once as the route runs now, where an
// unchanged set of files gives back the page made last, and once through the request
// dispatcher with a response, as a connection thread runs the route.

#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>
#include <string>

#include "base/uFiles.h"
#include "base/uStrings.h"
#include "page/uPageInfo.h"
#include "page/uPageInfoEliteDangerous.h"
#include "web/uMainPage.h"
#include "web/uWebRequest.h"
#include "web/uWebRequestHandler.h"

namespace {

std::u16string PageDir() { return ExtractFilePath(ExecutablePath()); }

// A page object with the built-in page, as GetPageInfo builds it.
std::unique_ptr<TPageInfo> BuiltInPage() {
  auto page = std::make_unique<TPageInfo>();
  FillEliteDangerousPage(*page);
  page->SetVirtualJoystickId(2);
  page->SetWebServerPortNr(8080);
  return page;
}

void BM_PanelHTML(benchmark::State& state) {
  const auto page = BuiltInPage();
  std::size_t size = 0;
  for (auto _ : state) {
    const std::u16string html = page->GetHTML();
    size = html.size();
    benchmark::DoNotOptimize(html.data());
  }
  state.counters["chars"] = static_cast<double>(size);
}
BENCHMARK(BM_PanelHTML);

// Every step of a page request, nothing kept between requests: the template read into lines,
// the companion files reloaded, the placeholders filled, the lines written out as bytes.
void BM_PageFill(benchmark::State& state) {
  const auto page = BuiltInPage();
  const std::u16string dir = PageDir();
  std::size_t size = 0;
  for (auto _ : state) {
    TStrings lines;
    lines.LoadFromFile(dir + u"index.html");
    {
      std::lock_guard lock(page->RequestLock());
      page->LoadExternalFiles(dir);
      page->ReplaceStrings(lines);
    }
    const std::string bytes = lines.SaveToBytes();
    size = bytes.size();
    benchmark::DoNotOptimize(bytes.data());
  }
  state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_PageFill);

// The route's assembly as it is: all three files read, the last page given back because none
// of them changed, the body copied into the response's stream.
void BM_AssemblePage(benchmark::State& state) {
  // One page object for every thread, as all page requests share the one page object.
  static const std::unique_ptr<TPageInfo> page = BuiltInPage();
  const std::u16string dir = PageDir();
  std::size_t size = 0;
  for (auto _ : state) {
    if (!FileExists(dir + u"index.html")) state.SkipWithError("no index.html beside the benchmark");
    const auto bytes = page->AssemblePage(dir, ReadFileBytes(dir + u"index.html"));
    TMemoryStream stream(*bytes);
    size = static_cast<std::size_t>(stream.Size());
    benchmark::DoNotOptimize(stream.Bytes().data());
  }
  state.counters["bytes"] = benchmark::Counter(static_cast<double>(size), benchmark::Counter::kAvgThreads);
}
BENCHMARK(BM_AssemblePage)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

// "GET /" through the request dispatcher: a web-module instance from the pool runs the page
// route into a response whose writer only looks at the body.
void BM_PageRouteDispatch(benchmark::State& state) {
  FreePageInfo();
  GetPageInfo();
  TWebRequestHandler handler;
  handler.SetWebModuleClass(MainPageModuleClass(PageDir()));
  std::size_t size = 0;
  for (auto _ : state) {
    TWebRequest request(u"GET", u"/", u"", u"", "");
    TWebResponse response([&size](TWebResponse& AResponse) {
      size = AResponse.ContentStream() != nullptr ? AResponse.ContentStream()->Bytes().size() : 0;
    });
    handler.HandleRequest(request, response);
  }
  if (size == 0) state.SkipWithError("the page route answered without a page");
  state.counters["bytes"] = static_cast<double>(size);
  FreePageInfo();
}
BENCHMARK(BM_PageRouteDispatch);

}  // namespace

BENCHMARK_MAIN();
