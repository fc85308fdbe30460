target_sources(tapdeck_tests PRIVATE
  tests/page/uPageInfoTest.cpp
  tests/page/uPageInfoEliteDangerousTest.cpp
)
# The file that exists but cannot be opened is made the platform's way.
if(WIN32)
  target_sources(tapdeck_tests PRIVATE tests/page/UnopenableFile_win32.cpp)
else()
  target_sources(tapdeck_tests PRIVATE tests/page/UnopenableFile_posix.cpp)
endif()
