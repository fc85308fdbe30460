target_sources(tapdeck_tests PRIVATE
  tests/support/TempDir.cpp
  tests/base/uIntConvTest.cpp
  tests/base/uStreamsTest.cpp
  tests/base/uStringsTest.cpp
  tests/base/uTextTest.cpp
)
if(WIN32)
  target_sources(tapdeck_tests PRIVATE tests/base/uFiles_win32Test.cpp)
endif()
