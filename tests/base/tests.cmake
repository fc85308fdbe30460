target_sources(tapdeck_tests PRIVATE
  tests/support/TempDir.cpp
  tests/base/uAddressesTest.cpp
  tests/base/uIntConvTest.cpp
  tests/base/uStreamsTest.cpp
  tests/base/uStringsTest.cpp
  tests/base/uTextTest.cpp
)

# Sockets and platform threads.
target_sources(tapdeck_tests PRIVATE
  tests/base/uSocketsTest.cpp
)
if(WIN32)
  target_sources(tapdeck_tests PRIVATE tests/base/uFiles_win32Test.cpp)
else()
  # The address list in a network namespace of the test's own (iproute2's "ip" sets it up).
  target_sources(tapdeck_tests PRIVATE tests/base/uAddresses_linuxTest.cpp)
endif()
