// Which requests the guard lets through to the routes that act on the PC, as a table of
// header combinations.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "web/uRequestGuard.h"

namespace {

const TRequestGuard kGuard({u"/KeyboardKey", u"/ButtonsDown"}, "GamingPC.fritz.box", {"Corp.Example."});

TWebRequest RequestTo(std::u16string APath, THeaderList AHeaders) {
  return TWebRequest(u"GET", std::move(APath), u"str=a", u"", "", std::move(AHeaders));
}

TEST(RequestGuard, DecidesByWhereABrowserSaysTheRequestComesFrom) {
  const struct {
    const char* what;
    THeaderList headers;
    bool admitted;
  } cases[] = {
      {"no browser headers (curl, scripts)", {{"Host", "127.0.0.1:8080"}}, true},
      {"HTTP/1.0 without Host", {}, true},
      {"same-origin", {{"Host", "192.168.1.5:8080"}, {"Sec-Fetch-Site", "same-origin"}}, true},
      {"typed into the address bar", {{"Host", "127.0.0.1:8080"}, {"Sec-Fetch-Site", "none"}}, true},
      {"letter case of the value", {{"Host", "127.0.0.1:8080"}, {"sec-fetch-site", "Same-Origin"}}, true},
      {"cross-site", {{"Host", "127.0.0.1:8080"}, {"Sec-Fetch-Site", "cross-site"}}, false},
      {"same-site: another port of this PC", {{"Host", "127.0.0.1:8080"}, {"Sec-Fetch-Site", "same-site"}}, false},
      {"an unknown value", {{"Host", "127.0.0.1:8080"}, {"Sec-Fetch-Site", "bogus"}}, false},
      {"an empty value", {{"Host", "127.0.0.1:8080"}, {"Sec-Fetch-Site", ""}}, false},
      {"a second, cross-site value", {{"Host", "127.0.0.1:8080"}, {"Sec-Fetch-Site", "same-origin"}, {"Sec-Fetch-Site", "cross-site"}}, false},
      {"matching Origin", {{"Host", "127.0.0.1:8080"}, {"Origin", "http://127.0.0.1:8080"}}, true},
      {"matching Origin, host letter case", {{"Host", "gamingpc:8080"}, {"Origin", "http://GamingPC:8080"}}, true},
      {"matching Origin on port 80", {{"Host", "127.0.0.1"}, {"Origin", "http://127.0.0.1:80"}}, true},
      {"matching Origin and same-origin", {{"Host", "[::1]:8080"}, {"Origin", "http://[::1]:8080"}, {"Sec-Fetch-Site", "same-origin"}}, true},
      {"Origin of another host", {{"Host", "127.0.0.1:8080"}, {"Origin", "http://127.0.0.2:9000"}}, false},
      {"Origin of another port", {{"Host", "127.0.0.1:8080"}, {"Origin", "http://127.0.0.1:9000"}}, false},
      {"Origin of another scheme", {{"Host", "127.0.0.1:8080"}, {"Origin", "https://127.0.0.1:8080"}}, false},
      {"Origin null", {{"Host", "127.0.0.1:8080"}, {"Origin", "null"}}, false},
      {"Origin without Host", {{"Origin", "http://127.0.0.1:8080"}}, false},
      {"Origin with a path", {{"Host", "127.0.0.1:8080"}, {"Origin", "http://127.0.0.1:8080/x"}}, false},
      {"cross-site with a matching Origin", {{"Host", "127.0.0.1:8080"}, {"Origin", "http://127.0.0.1:8080"}, {"Sec-Fetch-Site", "cross-site"}}, false},
      {"same-origin with a foreign Origin", {{"Host", "127.0.0.1:8080"}, {"Origin", "http://evil.example"}, {"Sec-Fetch-Site", "same-origin"}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(kGuard.Admits(RequestTo(u"/KeyboardKey", c.headers)), c.admitted);
    EXPECT_EQ(TRequestGuard::IsFromThisSite(c.headers), c.admitted);
  }
}

TEST(RequestGuard, TakesOnlyNamesThatAreThisPC) {
  const struct {
    const char* host;
    bool admitted;
  } cases[] = {
      {"127.0.0.1", true},         {"127.0.0.1:8080", true},        {"192.168.1.20:8080", true},
      {"[::1]:8080", true},        {"[fe80::1]", true},             {"[::ffff:127.0.0.1]:80", true},
      {"localhost", true},         {"LOCALHOST:8080", true},        {"gamingpc", true},
      {"GAMINGPC:8080", true},     {"gamingpc.local:8080", true},   {"gamingpc.fritz.box", true},
      {"gamingpc.", true},         {"gamingpc.lan.", true},         {"gamingpc.home.arpa", true},
      {"gamingpc.corp.example", true}, {"localhost.", true},        {"127.0.0.1.", true},
      {"evil.example", false},     {"evil.example:8080", false},    {"gamingpc2:8080", false},
      {"xgamingpc", false},        {"gamingpc..", false},           {"localhost.evil.example", false},
      {"gamingpc.attacker.example", false}, {"gamingpc.local.attacker.example", false}, {"gamingpc.example", false},
      {"127.0.0.1.evil.example", false}, {"256.0.0.1", false},      {"1.2.3", false},
      {"[evil.example]:80", false}, {"[::1", false},                {"127.0.0.1:80x", false},
      {"127.0.0.1:", false},       {"localhost:8080:1", false},     {"127.0.0.1.:8080", true},
      {"[fe80::1%25eth0]:8080", false}, {"[fe80::1%eth0]", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    EXPECT_EQ(kGuard.NamesThisPC(c.host), c.admitted);
    EXPECT_EQ(kGuard.Admits(RequestTo(u"/ButtonsDown", {{"Host", c.host}})), c.admitted);
  }
}

TEST(RequestGuard, EveryHostHeaderMustNameThisPC) {
  const THeaderList foreignSecond{{"Host", "127.0.0.1:8080"}, {"Host", "evil.example"}};
  const THeaderList foreignFirst{{"Host", "evil.example"}, {"Host", "127.0.0.1:8080"}};
  EXPECT_FALSE(kGuard.Admits(RequestTo(u"/KeyboardKey", foreignSecond)));
  EXPECT_FALSE(kGuard.Admits(RequestTo(u"/KeyboardKey", foreignFirst)));
  // Nor can an Origin match when the Host is not one.
  THeaderList withOrigin = foreignSecond;
  withOrigin.emplace_back("Origin", "http://127.0.0.1:8080");
  EXPECT_FALSE(TRequestGuard::IsFromThisSite(withOrigin));
}

TEST(RequestGuard, LeavesOtherPathsOpen) {
  const THeaderList foreign{{"Host", "evil.example"}, {"Sec-Fetch-Site", "cross-site"}, {"Origin", "null"}};
  for (const char16_t* path : {u"/", u"/index.html", u"/KeyboardKey/", u"/KeyboardKeys", u"/ButtonsUp"})
    EXPECT_TRUE(kGuard.Admits(RequestTo(path, foreign)));
  // Routes match their paths without regard to letter case, and so does the guard.
  for (const char16_t* path : {u"/KeyboardKey", u"/keyboardkey", u"/BUTTONSDOWN"})
    EXPECT_FALSE(kGuard.Admits(RequestTo(path, foreign)));
}

TEST(RequestGuard, APCNamedLocalhostTakesNoNameBeyondLocalhostItself) {
  const TRequestGuard guard({u"/KeyboardKey"}, "localhost.localdomain");
  EXPECT_TRUE(guard.NamesThisPC("localhost:8080"));
  for (const char* host : {"localhost.localdomain", "localhost.evil.example", "localhost.lan"})
    EXPECT_FALSE(guard.NamesThisPC(host)) << host;
}

TEST(RequestGuard, WithoutAHostNameTakesOnlyAddressesAndLocalhost) {
  const TRequestGuard guard({u"/KeyboardKey"}, "");
  EXPECT_TRUE(guard.NamesThisPC("localhost:8080"));
  EXPECT_TRUE(guard.NamesThisPC("10.0.0.2"));
  EXPECT_FALSE(guard.NamesThisPC("anything"));
  EXPECT_FALSE(guard.NamesThisPC(".local"));
}

}  // namespace
