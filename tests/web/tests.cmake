# Request records, dispatch, the web module and its page route.
target_sources(tapdeck_tests PRIVATE
  tests/web/uDevicesTest.cpp
  tests/web/uGameRoutesTest.cpp
  tests/web/uHeldInputsTest.cpp
  tests/web/uInputRoutesTest.cpp
  tests/web/uLiveSourcesTest.cpp
  tests/web/uMainPageTest.cpp
  tests/web/uRequestGuardTest.cpp
  tests/web/uWebRequestHandlerTest.cpp
  tests/web/uWebRequestTest.cpp
)

# The HTTP service: one connection over a channel in memory, request reading, response
# writing, the service through real sockets, the request corpus and tapdeck-headless as a
# program.
target_sources(tapdeck_tests PRIVATE
  tests/web/CorpusTest.cpp
  tests/web/HTTPTestSupport.cpp
  tests/web/RequestCorpus.cpp
  tests/support/MemoryByteChannel.cpp
  tests/web/uContentTypeTest.cpp
  tests/web/uEventStreamsTest.cpp
  tests/web/uHTTPConnectionTest.cpp
  tests/web/uHTTPRequestReaderTest.cpp
  tests/web/uHTTPResponseWriterTest.cpp
  tests/web/uHTTPWebBrokerBridgeTest.cpp
)
# tapdeck-headless as a program, and clients that reset, stop half-way or stay silent.
if(NOT WIN32)
  target_sources(tapdeck_tests PRIVATE
    tests/support/LoopbackClient.cpp
    tests/support/LoopbackClient_posix.cpp
    tests/web/ChildProcess.cpp
    tests/web/ChildProcess_posix.cpp
    tests/web/HeadlessCorpusTest.cpp
    tests/web/HeadlessGameActionsTest.cpp
    tests/web/HeadlessInputLinesTest.cpp
    tests/web/HeadlessProcessTest.cpp
    tests/web/uPanelEditorTest.cpp
    tests/web/ServiceFaultsTest.cpp
  )
endif()
add_dependencies(tapdeck_tests tapdeck-headless)
