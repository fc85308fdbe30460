// The list of paired devices, pairing offers, and who may reach the routes that act on the PC.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "base/uFiles.h"
#include "base/uSha256.h"
#include "base/uText.h"
#include "joystick/vJoyClass.h"
#include "joystick/vJoySimulated.h"
#include "keys/uKeyboardRecorder.h"
#include "tests/support/KeyboardWatch.h"
#include "tests/support/TempDir.h"
#include "tests/web/HTTPTestSupport.h"
#include "web/uDeviceRoutes.h"
#include "web/uDevices.h"
#include "web/uMainPage.h"
#include "web/uPairing.h"

namespace {

using namespace std::chrono_literals;

TEST(Sha256, KnownDigests) {
  const struct {
    std::string data, digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000, 'a'), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"},
  };
  for (const auto& c : cases) EXPECT_EQ(Sha256Hex(c.data), c.digest) << c.data.size();
}

TEST(DeviceStore, KeepsOnlyAFingerprintAndSurvivesARestart) {
  TempDir dir;
  const std::u16string file = dir.File("devices.json");
  std::string token, id;
  {
    TDeviceStore store;
    EXPECT_EQ(store.Open(file), u"");  // missing: nothing paired
    EXPECT_TRUE(store.Devices().empty());
    token = store.Add(u"Android \u00B7 Chrome", TDeviceKind::Phone, &id);
    store.SetOpenMode(true);
  }
  EXPECT_GE(token.size(), 22u);  // at least 128 bits
  const std::string bytes = ReadFileBytes(file);
  EXPECT_EQ(bytes.find(token), std::string::npos);
  EXPECT_NE(bytes.find(Sha256Hex(token)), std::string::npos);

  TDeviceStore again;
  EXPECT_EQ(again.Open(file), u"");
  ASSERT_EQ(again.Devices().size(), 1u);
  EXPECT_EQ(again.Devices()[0].Name, u"Android \u00B7 Chrome");
  EXPECT_TRUE(again.OpenMode());
  EXPECT_EQ(again.Authenticate(token), id);
  EXPECT_EQ(again.Authenticate(token + "x"), std::nullopt);
  EXPECT_EQ(again.Authenticate(""), std::nullopt);
  std::vector<std::string> forgotten;
  again.SetForgetListener([&](const std::vector<std::string>& ids) { forgotten = ids; });
  EXPECT_TRUE(again.Forget(id));
  EXPECT_EQ(forgotten, std::vector<std::string>{id});
  EXPECT_EQ(again.Authenticate(token), std::nullopt);
  TDeviceStore third;
  third.Open(file);
  EXPECT_TRUE(third.Devices().empty());
}

TEST(DeviceStore, ABrokenFileIsKeptAsideUntouchedAndPairingStartsAfresh) {
  for (const std::string& bytes :
       {std::string("{\"tapdeckDevices\": 1, \"devices\": [{\"id\""), std::string("\xff\xfe\x00garbage", 10),
        std::string("{\"tapdeckDevices\": 2}"), std::string("{\"tapdeckDevices\": 1, \"devices\": [{\"id\": \"a\"}]}"),
        std::string("[]")}) {
    SCOPED_TRACE(bytes);
    TempDir dir;
    dir.Write("devices.json", bytes);
    TDeviceStore store;
    const std::u16string message = store.Open(dir.File("devices.json"));
    EXPECT_NE(message.find(u"could not be read"), std::u16string::npos);
    EXPECT_TRUE(store.Devices().empty());
    EXPECT_EQ(ReadFileBytes(dir.File("devices.json.bad")), bytes);
    const std::string token = store.Add(u"Phone", TDeviceKind::Phone);
    EXPECT_TRUE(store.Authenticate(token));
    EXPECT_EQ(ReadFileBytes(dir.File("devices.json.bad")), bytes);
  }
}

TEST(DeviceStore, AListThatCannotBeWrittenIsReportedAndPairsNothing) {
  TempDir dir;
  std::filesystem::create_directory(dir.Path() / "devices.json");  // a folder in the way
  TDeviceStore store;
  EXPECT_EQ(store.Open(dir.File("devices.json")), u"");
  EXPECT_THROW(store.Add(u"Phone", TDeviceKind::Phone), Exception);
  EXPECT_TRUE(store.Devices().empty());
}

TEST(DeviceNames, FromTheBrowsersUserAgent) {
  const struct {
    const char* agent;
    const char16_t* name;
  } cases[] = {
      {"Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Mobile Safari/537.36",
       u"Android \u00B7 Chrome"},
      {"Mozilla/5.0 (iPad; CPU OS 17_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.1 Mobile/15E148 Safari/604.1",
       u"iPad \u00B7 Safari"},
      {"Mozilla/5.0 (iPhone; CPU iPhone OS 17_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) CriOS/120.0 Mobile/15E148 Safari/604.1",
       u"iPhone \u00B7 Chrome"},
      {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Safari/537.36 Edg/120.0",
       u"Windows \u00B7 Edge"},
      {"Mozilla/5.0 (X11; Linux x86_64; rv:121.0) Gecko/20100101 Firefox/121.0", u"Linux \u00B7 Firefox"},
      {"Mozilla/5.0 (Linux; Android 13; SM-S911B) AppleWebKit/537.36 (KHTML, like Gecko) SamsungBrowser/23.0 Chrome/115.0 Mobile Safari/537.36",
       u"Android \u00B7 Samsung Internet"},
      {"curl/8.4.0", u"Browser"},
      {"", u"Browser"},
  };
  for (const auto& c : cases) EXPECT_EQ(DeviceNameFromUserAgent(c.agent), c.name) << c.agent;
}

// --- Pairing offers ---

class Pairing : public ::testing::Test {
 protected:
  TDeviceStore Store;
  std::chrono::steady_clock::time_point Now{};
  TPairing Offers{Store, [this] { return Now; }};
};

TEST_F(Pairing, SecretOrCodeWorkOnceAndOnlyWhileTheOfferLives) {
  TPairingOffer offer = Offers.Begin();
  EXPECT_EQ(offer.Code.size(), 6u);
  EXPECT_GE(offer.Secret.size(), 22u);
  const TPairingResult paired = Offers.Redeem(offer.Secret, "", u"Phone");
  EXPECT_EQ(paired.Outcome, TPairingOutcome::Paired);
  EXPECT_TRUE(Store.Authenticate(paired.Token));
  // Used once.
  Now += 2s;
  EXPECT_EQ(Offers.Redeem(offer.Secret, "", u"Phone").Outcome, TPairingOutcome::NoOffer);

  offer = Offers.Begin();
  Now += TPairing::kLifetime - 1s;
  EXPECT_EQ(Offers.Redeem("", offer.Code, u"Tablet").Outcome, TPairingOutcome::Paired);

  offer = Offers.Begin();
  Now += TPairing::kLifetime;
  EXPECT_EQ(Offers.Redeem("", offer.Code, u"Late").Outcome, TPairingOutcome::NoOffer);

  offer = Offers.Begin();
  Offers.Cancel();
  EXPECT_EQ(Offers.Redeem(offer.Secret, "", u"Closed").Outcome, TPairingOutcome::NoOffer);
  EXPECT_EQ(Store.Devices().size(), 2u);
}

TEST_F(Pairing, FiveWrongTriesVoidTheOfferAndAttemptsAreLimitedPerSecond) {
  const TPairingOffer offer = Offers.Begin();
  const std::string wrong = offer.Code == "000000" ? "111111" : "000000";
  for (int i = 0; i < TPairing::kMaxWrongTries; ++i) {
    Now += 1s;
    EXPECT_EQ(Offers.Redeem("", wrong, u"Guess").Outcome, TPairingOutcome::Wrong);
  }
  Now += 1s;
  EXPECT_EQ(Offers.Redeem("", offer.Code, u"Right too late").Outcome, TPairingOutcome::NoOffer);

  const TPairingOffer fresh = Offers.Begin();
  Now += 1s;
  for (int i = 0; i < TPairing::kAttemptsPerSecond; ++i) Offers.Redeem("x", "", u"Burst");
  // The limit holds even for the right code, and lets go a second later.
  EXPECT_EQ(Offers.Redeem("", fresh.Code, u"Burst").Outcome, TPairingOutcome::TooMany);
  Now += 1s;
  EXPECT_EQ(Offers.Redeem("", fresh.Code, u"Calm").Outcome, TPairingOutcome::Paired);
  EXPECT_TRUE(Store.Devices().size() == 1);
}

// --- Through the service ---

class DeviceAccess : public ::testing::Test {
 protected:
  DeviceAccess() {
    GetDeviceStore().Open({});
    auto library = std::make_unique<TvJoySimulated>();
    FJoystick = library.get();
    SelectvJoyLibrary(std::move(library));
    GetvJoy().SetId(2);
    GetvJoy().Acquire();
    FJoystick->ClearCalls();
    FService.Start();
  }
  ~DeviceAccess() override {
    GetPairing().Cancel();
    GetDeviceStore().Open({});
  }

  THTTPReply Send(const std::string& AMethod, const std::string& ATarget, const std::string& AHeaders,
                  const std::string& ABody = {}) {
    std::string bytes = AMethod + " " + ATarget + " HTTP/1.1\r\n" + AHeaders;
    if (!ABody.empty()) bytes += "Content-Type: application/json\r\nContent-Length: " + std::to_string(ABody.size()) + "\r\n";
    return ParseReply(Exchange(FService.Port(), bytes + "\r\n" + ABody).Bytes);
  }
  int Status(const std::string& ATarget, const std::string& AHeaders) { return Send("GET", ATarget, AHeaders).Status; }
  std::size_t JoystickCalls() const { return FJoystick->Calls().size(); }

  TvJoySimulated* FJoystick = nullptr;
  // Key workers play into a recorder, and the button hold sleeps there.
  TKeyboardWatch FWorkers{std::make_shared<TKeyboardRecorder>()};
  TTestRoutes FUnused;
  TTestService FService{FUnused, MainPageModuleClass(u"/nonexistent-page-dir")};
};

const char* const kRoutes[] = {"/KeyboardKey?str=", "/KeyboardDown?str=", "/KeyboardUp?str=",
                               "/ButtonsPress?str=7", "/ButtonsDown?str=7", "/ButtonsUp?str=7"};

TEST_F(DeviceAccess, OnlyAValidCredentialActsOnEveryInputRoute) {
  std::string id;
  const std::string token = GetDeviceStore().Add(u"Phone", TDeviceKind::Phone, &id);
  const std::string host = "Host: 192.168.1.20:8080\r\n";
  const struct {
    const char* what;
    std::string headers;
    int status;
  } cases[] = {
      {"no credential", host, 403},
      {"a wrong credential", host + "Tapdeck-Device: " + token.substr(1) + "x\r\n", 403},
      {"an empty credential", host + "Tapdeck-Device: \r\n", 403},
      {"the credential in another header", host + "Authorization: Basic " + token + "\r\n", 403},
      {"a valid credential", host + "Tapdeck-Device: " + token + "\r\n", 200},
      {"a valid credential from another site", host + "Tapdeck-Device: " + token + "\r\nSec-Fetch-Site: cross-site\r\n", 403},
  };
  for (const auto& c : cases)
    for (const char* route : kRoutes) {
      SCOPED_TRACE(std::string(c.what) + " " + route);
      const std::size_t before = JoystickCalls();
      EXPECT_EQ(Status(route, c.headers), c.status);
      if (c.status == 403) {
        EXPECT_EQ(JoystickCalls(), before);
      }
    }
  // The credential in the URL does nothing either: it belongs in the header only.
  EXPECT_EQ(Status(std::string("/ButtonsDown?str=7&token=") + token, host), 403);
  // Forgotten: refused at once.
  GetDeviceStore().Forget(id);
  EXPECT_EQ(Status("/ButtonsDown?str=7", host + "Tapdeck-Device: " + token + "\r\n"), 403);
  // Open mode: no credential needed, but other sites and foreign names are still refused.
  GetDeviceStore().SetOpenMode(true);
  EXPECT_EQ(Status("/ButtonsDown?str=7", host), 200);
  EXPECT_EQ(Status("/ButtonsDown?str=7", host + "Sec-Fetch-Site: cross-site\r\n"), 403);
  EXPECT_EQ(Status("/ButtonsDown?str=7", "Host: rebound.example:8080\r\n"), 403);
}

TEST_F(DeviceAccess, APagePairsWithTheCodeAndLearnsItsState) {
  const std::string host = "Host: 192.168.1.20:8080\r\n";
  const std::string origin = host + "Origin: http://192.168.1.20:8080\r\nUser-Agent: Mozilla/5.0 (iPad; CPU OS 17_1 like Mac OS X) Safari/604.1\r\n";
  EXPECT_EQ(Send("POST", "/pair", origin, R"({"code": "123456"})").Status, 410);  // nothing offered
  const TPairingOffer offer = GetPairing().Begin();
  const std::string wrong = offer.Code == "000000" ? "111111" : "000000";
  // A pairing request needs the page's own Origin: a form or script of another site, or a
  // client that names none, is refused before the code is even looked at.
  for (const std::string& headers : {host, host + "Origin: http://evil.example\r\n", host + "Origin: null\r\n"})
    EXPECT_EQ(Send("POST", "/pair", headers, "{\"code\": \"" + offer.Code + "\"}").Status, 403) << headers;
  EXPECT_EQ(Send("POST", "/pair", origin, "{\"code\": \"" + wrong + "\"}").Status, 403);
  EXPECT_EQ(Send("GET", "/pair", origin).Status, 405);
  const THTTPReply paired = Send("POST", "/pair", origin, "{\"code\": \"" + offer.Code + "\"}");
  ASSERT_EQ(paired.Status, 200) << paired.Body;
  EXPECT_EQ(paired.Header("Content-Type"), "application/json");
  const std::string token = paired.Body.substr(paired.Body.find("\"token\":\"") + 9, 32);
  EXPECT_NE(paired.Body.find("iPad"), std::string::npos);

  EXPECT_EQ(Send("GET", "/device", host).Body, R"({"open":false,"paired":false})");
  EXPECT_EQ(Send("GET", "/device", host + "Tapdeck-Device: " + token + "\r\n").Body,
            "{\"name\":\"iPad \xC2\xB7 Safari\",\"open\":false,\"paired\":true}");
  EXPECT_EQ(Status("/ButtonsDown?str=3", host + "Tapdeck-Device: " + token + "\r\n"), 200);
  EXPECT_EQ(Send("GET", "/device", "Host: rebound.example\r\n").Status, 403);
}

TEST_F(DeviceAccess, TheEditorAnswersOnlyOnLoopbackAndNeverInAFrame) {
  const std::string local = "Host: 127.0.0.1:8080\r\n";
  EXPECT_EQ(Send("GET", "/edit/panel", local).Status, 200);
  EXPECT_EQ(Send("GET", "/edit/panel", local).Header("Content-Security-Policy"), "frame-ancestors 'none'");
  EXPECT_EQ(Send("GET", "/edit", local + "Sec-Fetch-Dest: iframe\r\n").Status, 403);
}

}  // namespace
