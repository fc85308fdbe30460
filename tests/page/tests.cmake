target_sources(tapdeck_tests PRIVATE
  tests/page/uPageInfoTest.cpp
  tests/page/uPageInfoEliteDangerousTest.cpp
  tests/page/uPanelFileTest.cpp
)
# The file that exists but cannot be opened, and the file whose reader waits, are made the
# platform's way.
if(WIN32)
  target_sources(tapdeck_tests PRIVATE tests/page/UnopenableFile_win32.cpp tests/page/GatedFile_win32.cpp)
else()
  target_sources(tapdeck_tests PRIVATE tests/page/UnopenableFile_posix.cpp tests/page/GatedFile_posix.cpp)
endif()
