target_sources(tapdeck_tests PRIVATE
  tests/support/TempDir.cpp
  tests/base/uIntConvTest.cpp
  tests/base/uStreamsTest.cpp
  tests/base/uStringsTest.cpp
  tests/base/uTextTest.cpp
)

# Sockets and platform threads.
target_sources(tapdeck_tests PRIVATE
  tests/base/uSocketsTest.cpp
)
