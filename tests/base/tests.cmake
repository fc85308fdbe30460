target_sources(tapdeck_tests PRIVATE
  tests/support/TempDir.cpp
  tests/base/uAddressesTest.cpp
  tests/base/uIntConvTest.cpp
  tests/base/uStreamsTest.cpp
  tests/base/uStringsTest.cpp
  tests/base/uTextTest.cpp
)

# Sockets and platform threads, and what the system tells of the test process's threads.
target_sources(tapdeck_tests PRIVATE
  tests/base/uSocketsTest.cpp
)
if(WIN32)
  target_sources(tapdeck_tests PRIVATE tests/support/Threads_win32.cpp tests/base/uFiles_win32Test.cpp)
else()
  target_sources(tapdeck_tests PRIVATE tests/support/Threads_posix.cpp)
  # The address list in a network namespace of the test's own (iproute2's "ip" sets it up).
  target_sources(tapdeck_tests PRIVATE tests/base/uAddresses_linuxTest.cpp)
endif()
