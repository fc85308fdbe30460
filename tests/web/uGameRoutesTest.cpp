// Values from scripts (/State) and the toggle cells' own state (/StateToggle), through the
// HTTP service on loopback: what is set, what is refused with which words, and who may.

#include "web/uGameRoutes.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "game/uGameState.h"
#include "tests/web/HTTPTestSupport.h"
#include "web/uDevices.h"
#include "web/uMainPage.h"

namespace {

class GameRoutes : public ::testing::Test {
 protected:
  GameRoutes() {
    GetDeviceStore().Open({});
    FService.Start();
  }
  ~GameRoutes() override {
    GetDeviceStore().Open({});
    GetGameState().ReplacePrefix("ets2.", {});
    GetGameState().Remove("cell.f.Gear");
  }

  // One request; a body goes as JSON. AHeaders: further lines, each ending in CR LF.
  THTTPReply Request(const std::string& AMethod, const std::string& ATarget, const std::string& ABody = {},
                     const std::string& AHeaders = {}) {
    std::string bytes = AMethod + " " + ATarget + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + AHeaders;
    if (!ABody.empty())
      bytes += "Content-Type: application/json\r\nContent-Length: " + std::to_string(ABody.size()) + "\r\n";
    return ParseReply(Exchange(FService.Port(), bytes + "\r\n" + ABody).Bytes);
  }
  // The value as "true", "42.500000" or "\"N\"", or "(absent)".
  static std::string Value(const std::string& AName) {
    const auto value = GetGameState().Get(AName);
    if (!value) return "(absent)";
    return std::visit(
        [](const auto& AData) -> std::string {
          using T = std::decay_t<decltype(AData)>;
          if constexpr (std::is_same_v<T, bool>)
            return AData ? "true" : "false";
          else if constexpr (std::is_same_v<T, double>)
            return std::to_string(AData);
          else
            return "\"" + AData + "\"";
        },
        value->Data);
  }

 private:
  TTestRoutes FUnusedRoutes;
  TTestService FService{FUnusedRoutes, MainPageModuleClass(u"/nonexistent-page-dir")};
};

TEST_F(GameRoutes, AScriptSetsValuesUnderItsOwnPrefixOnly) {
  GetDeviceStore().SetOpenMode(true);
  const struct {
    const char* method;
    const char* body;
    int status;
    std::string answer;
  } cases[] = {
      {"POST", R"({"ets2.ParkingBrake": true, "ets2.Speed": 42.5, "ets2.Gear": "N"})", 200, "{}"},
      // Refused whole: nothing of it is set.
      {"POST", R"({"ets2.Lights": true, "elite.Docked": true})", 403,
       R"({"error":"\"elite.Docked\": names under \"elite.\" and \"cell.\" belong to the game and the panel"})"},
      {"POST", R"({"cell.f.Gear": true})", 403,
       R"({"error":"\"cell.f.Gear\": names under \"elite.\" and \"cell.\" belong to the game and the panel"})"},
      {"POST", R"({"ets2.Lights": true, "Lights": false})", 400,
       R"({"error":"\"Lights\": a name is a prefix of the script's own, a dot and letters, digits, \".\", \"_\" or \"-\""})"},
      {"POST", R"({"ets2.Lights": null})", 400, R"({"error":"\"ets2.Lights\": a value is true, false, a number or a text"})"},
      {"POST", R"({"ets2.Lights": [true]})", 400, R"({"error":"\"ets2.Lights\": a value is true, false, a number or a text"})"},
      {"POST", R"([{"ets2.Lights": true}])", 400, R"({"error":"the body must be a JSON object of names and values"})"},
      {"POST", R"({"ets2.Lights": tru)", 400, R"({"error":"the body must be a JSON object of names and values"})"},
      {"GET", "", 405, R"({"error":"use POST with a JSON object of names and values"})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    const THTTPReply reply = Request(c.method, "/State", c.body);
    EXPECT_EQ(reply.Status, c.status);
    EXPECT_EQ(reply.Body, c.answer);
  }
  EXPECT_EQ(Value("ets2.ParkingBrake"), "true");
  EXPECT_EQ(Value("ets2.Speed"), "42.500000");
  EXPECT_EQ(Value("ets2.Gear"), "\"N\"");
  EXPECT_EQ(Value("ets2.Lights"), "(absent)");
  EXPECT_EQ(Value("elite.Docked"), "(absent)");
  EXPECT_EQ(Value("cell.f.Gear"), "(absent)");
}

TEST_F(GameRoutes, AToggleCellsStateFlipsOrIsSet) {
  GetDeviceStore().SetOpenMode(true);
  const struct {
    const char* query;
    int status;
    const char* answer;
  } cases[] = {
      {"str=cell.f.Gear", 200, R"({"cell.f.Gear":true})"},
      {"str=cell.f.Gear", 200, R"({"cell.f.Gear":false})"},
      {"str=cell.f.Gear&set=1", 200, R"({"cell.f.Gear":true})"},
      {"str=cell.f.Gear&set=1", 200, R"({"cell.f.Gear":true})"},
      {"str=cell.f.Gear&set=0", 200, R"({"cell.f.Gear":false})"},
      {"str=ets2.Gear", 400, R"({"error":"not a toggle cell's state: ets2.Gear"})"},
      {"str=elite.LightsOn", 400, R"({"error":"not a toggle cell's state: elite.LightsOn"})"},
      {"str=cell.f%20Gear", 400, R"({"error":"not a toggle cell's state: cell.f Gear"})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    const THTTPReply reply = Request("GET", std::string("/StateToggle?") + c.query);
    EXPECT_EQ(reply.Status, c.status);
    EXPECT_EQ(reply.Body, c.answer);
  }
  EXPECT_EQ(Value("cell.f.Gear"), "false");
  EXPECT_EQ(Value("ets2.Gear"), "(absent)");
}

// Outside open mode only a device of the list may set anything: a script's key, sent in the
// device header.
TEST_F(GameRoutes, OutsideOpenModeOnlyAKeyOfTheListMaySet) {
  const std::string key = GetDeviceStore().Add(u"truck bridge", TDeviceKind::Script);
  const struct {
    std::string headers;
    int status;
  } cases[] = {
      {"", 403},
      {"Tapdeck-Device: not-a-key\r\n", 403},
      {"Tapdeck-Device: " + key + "\r\n", 200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.headers);
    GetGameState().ReplacePrefix("ets2.", {});
    GetGameState().Remove("cell.f.Gear");
    EXPECT_EQ(Request("POST", "/State", R"({"ets2.ParkingBrake": true})", c.headers).Status, c.status);
    EXPECT_EQ(Request("GET", "/StateToggle?str=cell.f.Gear", "", c.headers).Status, c.status);
    EXPECT_EQ(Value("ets2.ParkingBrake"), c.status == 200 ? "true" : "(absent)");
    EXPECT_EQ(Value("cell.f.Gear"), c.status == 200 ? "true" : "(absent)");
  }
}

}  // namespace
