# Request records, dispatch and the web module with its routes.
target_sources(tapdeck_core PRIVATE
  web/uDeviceRoutes.cpp
  web/uDevices.cpp
  web/uEventStreams.cpp
  web/uGameRoutes.cpp
  web/uHeldInputs.cpp
  web/uLiveSources.cpp
  web/uMainPage.cpp
  web/uPairing.cpp
  web/uPanelEditor.cpp
  web/uRequestGuard.cpp
  web/uWebRequest.cpp
  web/uWebRequestHandler.cpp
)
# The HTTP service.
target_sources(tapdeck_core PRIVATE
  web/uByteChannel.cpp
  web/uConnectionSignal.cpp
  web/uContentType.cpp
  web/uHTTPConnection.cpp
  web/uHTTPRequestReader.cpp
  web/uHTTPResponseWriter.cpp
  web/uHTTPWebBrokerBridge.cpp
)
