#include "web/uMainPage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "base/uFiles.h"
#include "base/uText.h"
#include "page/uPageInfo.h"
#include "tests/support/Platform.h"
#include "tests/support/TempDir.h"
#include "tests/web/WebTestSupport.h"

namespace {

// --- The route table ---

TEST(TwmMainPage, HasTheSevenRoutesInOrder) {
  const struct {
    const char16_t* name;
    const char16_t* path;
    TMethodType method;
  } expected[] = {
      {u"DefaultHandler", u"/", mtGet},
      {u"wmPostKeyboardKey", u"/KeyboardKey", mtAny},
      {u"wmPostKeyboardDown", u"/KeyboardDown", mtAny},
      {u"wmPostKeyboardUp", u"/KeyboardUp", mtAny},
      {u"wmPostButtonsPress", u"/ButtonsPress", mtAny},
      {u"wmPostButtonsDown", u"/ButtonsDown", mtAny},
      {u"wmPostButtonsUp", u"/ButtonsUp", mtAny},
  };
  TwmMainPage module;
  ASSERT_EQ(module.Actions().Count(), 7);
  for (int i = 0; i < 7; ++i) {
    const TWebActionItem& item = module.Actions().Items(i);
    SCOPED_TRACE(Utf16ToUtf8(item.Name()));
    EXPECT_EQ(item.Name(), expected[i].name);
    EXPECT_EQ(item.PathInfo(), expected[i].path);
    EXPECT_EQ(item.MethodType(), expected[i].method);
    EXPECT_EQ(item.Default(), i == 0);
    EXPECT_TRUE(item.Enabled());
    EXPECT_TRUE(item.OnAction());
  }
}

// The real table, with every handler replaced by one that records its item's name.
class MainPageRouting : public ::testing::Test {
 protected:
  MainPageRouting() {
    for (int i = 0; i < module.Actions().Count(); ++i)
      module.Actions().Items(i).SetOnAction(
          [this](TWebActionItem& sender, TWebRequest&, TWebResponse&, bool&) { ran.push_back(sender.Name()); });
  }
  std::vector<std::u16string> Route(const std::u16string& method, const std::u16string& path) {
    ran.clear();
    auto request = MakeRequest(method, path, u"str=x");
    TWebResponse response;
    module.DispatchAction(request, response);
    return ran;
  }
  TwmMainPage module;
  std::vector<std::u16string> ran;
};

TEST_F(MainPageRouting, EachRequestRunsExactlyOneRoute) {
  const struct {
    const char16_t* method;
    const char16_t* path;
    const char16_t* route;
  } cases[] = {
      {u"GET", u"/", u"DefaultHandler"},
      {u"GET", u"", u"DefaultHandler"},
      {u"GET", u"/KeyboardKey", u"wmPostKeyboardKey"},
      {u"POST", u"/keyboardkey", u"wmPostKeyboardKey"},
      {u"PUT", u"/KEYBOARDKEY", u"wmPostKeyboardKey"},
      {u"DELETE", u"/KeyboardDown", u"wmPostKeyboardDown"},
      {u"HEAD", u"/keyboardup", u"wmPostKeyboardUp"},
      {u"PATCH", u"/ButtonsPress", u"wmPostButtonsPress"},
      {u"GET", u"/BUTTONSDOWN", u"wmPostButtonsDown"},
      {u"OPTIONS", u"/ButtonsUp", u"wmPostButtonsUp"},
      {u"get", u"/ButtonsUp", u"wmPostButtonsUp"},
      {u"POST", u"/", u"DefaultHandler"},
      {u"HEAD", u"/", u"DefaultHandler"},
      {u"OPTIONS", u"/", u"DefaultHandler"},
      {u"GET", u"/index.html", u"DefaultHandler"},
      {u"GET", u"/favicon.ico", u"DefaultHandler"},
      {u"GET", u"/KeyboardKey/", u"DefaultHandler"},
      {u"GET", u"/KeyboardKeys", u"DefaultHandler"},
      {u"GET", u"KeyboardKey", u"DefaultHandler"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(std::u16string(c.method) + u" " + c.path));
    EXPECT_EQ(Route(c.method, c.path), std::vector<std::u16string>{c.route});
  }
}

TEST(TwmMainPage, InputRoutesLeaveTheResponseEmpty) {
  TwmMainPage module;
  for (const char16_t* path : {u"/KeyboardKey", u"/KeyboardDown", u"/KeyboardUp", u"/ButtonsPress",
                               u"/ButtonsDown", u"/ButtonsUp"}) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    TCapturedResponse captured;
    auto request = MakeRequest(u"GET", path);
    auto response = CapturingResponse(captured);
    EXPECT_TRUE(module.DispatchAction(request, response));
    EXPECT_EQ(captured.Writes, 1);
    EXPECT_EQ(captured.StatusCode, 200);
    EXPECT_EQ(captured.Body, TResponseBody::None);
  }
}

// --- The base path ---

TEST(TwmMainPage, ReadsBesideTheExecutableByDefault) {
  TwmMainPage module;
  module.DoCreate();
  const std::u16string expected = ExtractFilePath(ExecutablePath());
  EXPECT_EQ(module.BasePath(), expected);
  ASSERT_FALSE(module.BasePath().empty());
  EXPECT_EQ(module.BasePath().back(), PathDelimiter());
}

TEST(TwmMainPage, AGivenDirectoryGetsItsFinalSeparator) {
  TwmMainPage withSeparator(u"/some/dir/");
  withSeparator.DoCreate();
  EXPECT_EQ(withSeparator.BasePath(), u"/some/dir/");
  TwmMainPage withoutSeparator(u"/some/dir");
  withoutSeparator.DoCreate();
  EXPECT_EQ(withoutSeparator.BasePath(), u"/some/dir" + std::u16string(1, PathDelimiter()));
}

// --- The page route, through the dispatch entry ---

// "<letter><digits>" followed by CR LF, as a companion file of one line is inserted.
bool IsInsertedLine(std::string_view text, char letter) {
  if (text.size() < 4 || text[0] != letter || !text.ends_with("\r\n")) return false;
  const std::string_view digits = text.substr(1, text.size() - 3);
  return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The page of the template "$$SCRIPT$$|$$STYLES$$": a whole script, "|", whole styles, CR LF.
bool IsWholePage(std::string_view page) {
  const auto bar = page.find('|');
  return bar != std::string_view::npos && page.ends_with("\r\n") && IsInsertedLine(page.substr(0, bar), 's') &&
         IsInsertedLine(page.substr(bar + 1, page.size() - bar - 3), 'c');
}

// Replaces a file in one step, so a concurrent reader sees the old or the new bytes.
void ReplaceFile(const TempDir& dir, const std::string& name, const std::string& bytes) {
  const std::string temp = name + ".new";
  dir.Write(temp, bytes);
  std::filesystem::rename(dir.Path() / temp, dir.Path() / name);
}

class PageRoute : public ::testing::Test {
 protected:
  void SetUp() override {
    FreePageInfo();
    GetPageInfo().SetPageTitle(u"Deck");
    handler.SetWebModuleClass(MainPageModuleClass(dir.Base()));
  }
  void TearDown() override { FreePageInfo(); }

  TCapturedResponse Get(const std::u16string& path = u"/") {
    TCapturedResponse captured;
    auto request = MakeRequest(u"GET", path);
    auto response = CapturingResponse(captured);
    EXPECT_TRUE(handler.HandleRequest(request, response));
    return captured;
  }

  TempDir dir;
  TWebRequestHandler handler;
};

TEST_F(PageRoute, WithoutTemplateAnswersAnEmpty200) {
  const TCapturedResponse page = Get();
  EXPECT_EQ(page.Writes, 1);
  EXPECT_EQ(page.StatusCode, 200);
  EXPECT_EQ(page.Body, TResponseBody::None);
  EXPECT_EQ(page.ContentType, u"");
}

TEST_F(PageRoute, ADirectoryNamedLikeTheTemplateDoesNotCount) {
  std::filesystem::create_directory(dir.Path() / "index.html");
  const TCapturedResponse page = Get();
  EXPECT_EQ(page.StatusCode, 200);
  EXPECT_EQ(page.Body, TResponseBody::None);
}

TEST_F(PageRoute, ATemplateAddedOrEditedLaterIsServedAtOnce) {
  EXPECT_EQ(Get().Body, TResponseBody::None);
  dir.Write("index.html", "<title>$$PageTitle$$</title>\n<p>one</p>");
  TCapturedResponse page = Get();
  EXPECT_EQ(page.StatusCode, 200);
  EXPECT_EQ(page.ContentType, u"text/html");
  EXPECT_EQ(page.Body, TResponseBody::Stream);
  EXPECT_EQ(page.StreamBytes, "<title>Deck</title>\r\n<p>one</p>\r\n");

  dir.Write("index.html", "<p>two</p>\n");
  EXPECT_EQ(Get().StreamBytes, "<p>two</p>\r\n");
  dir.Remove("index.html");
  EXPECT_EQ(Get().Body, TResponseBody::None);
}

TEST_F(PageRoute, EveryOtherPathGetsTheSamePage) {
  dir.Write("index.html", "<p>$$PageTitle$$</p>");
  const std::string root = Get(u"/").StreamBytes;
  EXPECT_EQ(root, "<p>Deck</p>\r\n");
  EXPECT_EQ(Get(u"/favicon.ico").StreamBytes, root);
  EXPECT_EQ(Get(u"/index.html").StreamBytes, root);
}

TEST_F(PageRoute, KeepsTheByteOrderMarkExactlyWhenPresent) {
  GetPageInfo().SetPageTitle(u"T\u20ac");
  dir.Write("index.html", "\xEF\xBB\xBF<p>$$PageTitle$$ \xC3\xA9</p>\n");
  EXPECT_EQ(Get().StreamBytes, "\xEF\xBB\xBF<p>T\xE2\x82\xAC \xC3\xA9</p>\r\n");

  // Without a mark the template is read and written in the ANSI code page.
  dir.Write("index.html", "<p>$$PageTitle$$ \xE9</p>\n");
  EXPECT_EQ(Get().StreamBytes, "<p>T\x80 \xE9</p>\r\n");

  dir.Write("index.html", "\xFF\xFE" + Utf16ToUtf16LE(u"<p>$$pagetitle$$"));
  EXPECT_EQ(Get().StreamBytes, "\xFF\xFE" + Utf16ToUtf16LE(u"<p>T\u20ac\r\n"));
}

TEST_F(PageRoute, FillsTheCompanionFilesAndKeepsThemWhenRemoved) {
  dir.Write("index.html", "$$SCRIPT$$|$$STYLES$$");
  EXPECT_EQ(Get().StreamBytes, "|\r\n");

  dir.Write("script.js", "var x;\n");
  dir.Write("styles.css", "td {}\n");
  EXPECT_EQ(Get().StreamBytes, "var x;\r\n|td {}\r\n\r\n");

  dir.Remove("script.js");
  dir.Remove("styles.css");
  EXPECT_EQ(Get().StreamBytes, "var x;\r\n|td {}\r\n\r\n");
}

// The page is assembled from the three files on every request, so whatever happens to one of
// them shows in the very next answer, also after the same page was served many times.
TEST_F(PageRoute, EachFileChangeShowsInTheVeryNextAnswer) {
  struct TStep {
    const char* what;
    const char* file;
    const char* bytes;  // null: the file is removed
    std::string page;   // the body, or empty for an empty 200
  };
  const TStep steps[] = {
      {"template", "index.html", "<h1>$$PageTitle$$</h1>[$$SCRIPT$$|$$STYLES$$]", "<h1>Deck</h1>[s1\r\n|c1\r\n]\r\n"},
      {"template edited, same size", "index.html", "<h2>$$PageTitle$$</h2>[$$SCRIPT$$|$$STYLES$$]",
       "<h2>Deck</h2>[s1\r\n|c1\r\n]\r\n"},
      {"script edited, same size", "script.js", "s2", "<h2>Deck</h2>[s2\r\n|c1\r\n]\r\n"},
      {"styles edited, same size", "styles.css", "c2", "<h2>Deck</h2>[s2\r\n|c2\r\n]\r\n"},
      {"script removed", "script.js", nullptr, "<h2>Deck</h2>[s2\r\n|c2\r\n]\r\n"},
      {"styles removed", "styles.css", nullptr, "<h2>Deck</h2>[s2\r\n|c2\r\n]\r\n"},
      {"script back, earlier version", "script.js", "s1", "<h2>Deck</h2>[s1\r\n|c2\r\n]\r\n"},
      {"styles back, earlier version", "styles.css", "c1", "<h2>Deck</h2>[s1\r\n|c1\r\n]\r\n"},
      {"template removed", "index.html", nullptr, ""},
      {"template back as before", "index.html", "<h2>$$PageTitle$$</h2>[$$SCRIPT$$|$$STYLES$$]",
       "<h2>Deck</h2>[s1\r\n|c1\r\n]\r\n"},
      {"template broken", "index.html", "\xEF\xBB\xBF\xFF", "500"},
      {"template repaired", "index.html", "<h1>$$PageTitle$$</h1>[$$SCRIPT$$|$$STYLES$$]",
       "<h1>Deck</h1>[s1\r\n|c1\r\n]\r\n"},
  };
  dir.Write("script.js", "s1");
  dir.Write("styles.css", "c1");
  for (const TStep& step : steps) {
    SCOPED_TRACE(step.what);
    if (step.bytes != nullptr)
      dir.Write(step.file, step.bytes);
    else
      dir.Remove(step.file);
    for (int repeat = 0; repeat < 3; ++repeat) {
      const TCapturedResponse page = Get();
      if (step.page == "500") {
        EXPECT_EQ(page.StatusCode, 500);
      } else if (step.page.empty()) {
        EXPECT_EQ(page.StatusCode, 200);
        EXPECT_EQ(page.Body, TResponseBody::None);
      } else {
        EXPECT_EQ(page.StatusCode, 200);
        EXPECT_EQ(page.StreamBytes, step.page);
      }
    }
  }
}

TEST_F(PageRoute, InsertsThePanel) {
  dir.Write("index.html", "<body>$$HTML$$</body>");
  const std::string expected = "<body>" + Utf16ToAnsi(GetPageInfo().GetHTML()) + "</body>\r\n";
  EXPECT_EQ(Get().StreamBytes, expected);
}

TEST_F(PageRoute, FollowsSymbolicLinks) {
  dir.Write("real.html", "<p>linked</p>");
  std::error_code ec;
  std::filesystem::create_symlink(dir.Path() / "real.html", dir.Path() / "index.html", ec);
  if (ec) GTEST_SKIP() << "symbolic links are not available here: " << ec.message();
  EXPECT_EQ(Get().StreamBytes, "<p>linked</p>\r\n");
}

TEST_F(PageRoute, AFailingLoadGivesTheEscapedErrorPage) {
  // A mark announcing UTF-8 followed by bytes that are not UTF-8 does not load.
  dir.Write("index.html", "\xEF\xBB\xBF<p>\xFF</p>");
  const TCapturedResponse page = Get(u"/<script>alert(1)</script>");
  EXPECT_EQ(page.Writes, 1);
  EXPECT_EQ(page.StatusCode, 500);
  EXPECT_EQ(page.Body, TResponseBody::Text);
  EXPECT_EQ(page.Content,
            u"<html><body><h1>Internal Application Error</h1>\r\n"
            u"<p>No mapping for the Unicode character exists in the target multi-byte code page\r\n"
            u"<p><hr width=\"100%\"><i>/&lt;script&gt;alert(1)&lt;/script&gt;</i></body></html>");
  EXPECT_EQ(handler.ActiveCount(), 0);
  EXPECT_EQ(handler.InactiveCount(), 1);
}

TEST_F(PageRoute, ReusedInstancesKeepTheirDirectory) {
  dir.Write("index.html", "<p>x</p>");
  EXPECT_EQ(Get().StreamBytes, "<p>x</p>\r\n");
  EXPECT_EQ(Get().StreamBytes, "<p>x</p>\r\n");
  EXPECT_EQ(handler.InactiveCount(), 1);
}

TEST_F(PageRoute, ConcurrentRequestsGetWholeConsistentPages) {
  TAPDECK_SKIP_ON_WINDOWS("replacing a file by renaming over it while readers hold it open (Windows refuses that)");
  dir.Write("index.html", "$$SCRIPT$$|$$STYLES$$");
  ReplaceFile(dir, "script.js", "s0");
  ReplaceFile(dir, "styles.css", "c0");

  constexpr int kReaders = 4;
  constexpr int kRequests = 40;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 1; !done; ++i) {
      ReplaceFile(dir, "script.js", "s" + std::to_string(i));
      ReplaceFile(dir, "styles.css", "c" + std::to_string(i));
    }
  });
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < kReaders; ++r)
    readers.emplace_back([&] {
      for (int i = 0; i < kRequests; ++i) {
        TCapturedResponse captured;
        auto request = MakeRequest(u"GET", u"/");
        auto response = CapturingResponse(captured);
        try {
          handler.HandleRequest(request, response);
        } catch (...) {
          ++bad;
          continue;
        }
        if (captured.StatusCode != 200 || !IsWholePage(captured.StreamBytes)) ++bad;
      }
    });
  for (auto& t : readers) t.join();
  done = true;
  writer.join();
  EXPECT_EQ(bad, 0);
  EXPECT_LE(handler.InactiveCount(), kReaders);
}

}  // namespace
