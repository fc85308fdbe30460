# Request records, dispatch, the web module and its page route.
target_sources(tapdeck_tests PRIVATE
  tests/web/uInputRoutesTest.cpp
  tests/web/uMainPageTest.cpp
  tests/web/uWebRequestHandlerTest.cpp
  tests/web/uWebRequestTest.cpp
)

# The HTTP service: one connection over a channel in memory, request reading, response
# writing, the service through real sockets, the request corpus and tapdeck-headless as a
# program.
target_sources(tapdeck_tests PRIVATE
  tests/web/CorpusTest.cpp
  tests/web/HTTPTestSupport.cpp
  tests/support/MemoryByteChannel.cpp
  tests/web/uHTTPConnectionTest.cpp
  tests/web/uHTTPRequestReaderTest.cpp
  tests/web/uHTTPResponseWriterTest.cpp
  tests/web/uHTTPWebBrokerBridgeTest.cpp
)
if(NOT WIN32)
  target_sources(tapdeck_tests PRIVATE
    tests/web/ChildProcess_posix.cpp
    tests/web/HeadlessInputLinesTest.cpp
    tests/web/HeadlessProcessTest.cpp
  )
endif()
add_dependencies(tapdeck_tests tapdeck-headless)
