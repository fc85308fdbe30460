#include "tests/app/WindowTestSupport.h"

#include <memory>

#include "joystick/vJoyIF.h"
#include "page/uPageInfo.h"
#include "web/uDevices.h"
#include "web/uPairing.h"
#include "web/uMainPage.h"

TvJoySimulated& StartAsANewProcess(TvJoySimulatedOptions AOptions) {
  auto library = std::make_unique<TvJoySimulated>(AOptions);
  TvJoySimulated& result = *library;
  SelectvJoyLibrary(std::move(library));
  FreePageInfo();
  WebRequestHandler().SetWebModuleClass(MainPageModuleClass());
  return result;
}

void ForgetProcessObjects() {
  FreePageInfo();
  GetPairing().Cancel();
  GetDeviceStore().Open({});
}

std::uint16_t BoundIPv4Port(const TIdHTTPWebBrokerBridge& AServer) {
  for (int i = 0; i < AServer.Bindings().Count(); ++i) {
    const TIdSocketHandle& binding = AServer.Bindings().Items(i);
    if (binding.IPVersion() == Id_IPv4) return binding.BoundPort();
  }
  return 0;
}

std::uint16_t FreePort() {
  TSocket socket = TSocket::Open(TIPVersion::IPv4);
  if (!socket.Bind("", 0)) return 0;
  return socket.LocalPort();
}

bool LoopbackConnects(std::uint16_t APort) {
  TSocket socket = TSocket::Open(TIPVersion::IPv4);
  return socket.Connect("127.0.0.1", APort);
}

std::string LoopbackGet(std::uint16_t APort, const std::string& APath) {
  return Exchange(APort, "GET " + APath + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").Bytes;
}
