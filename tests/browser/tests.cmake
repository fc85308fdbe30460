# Browser tests (scripts/browser-tests.sh runs them with Node against tapdeck-headless) and
# the X client their end-to-end test reads the keys with.
if(NOT WIN32)
  find_package(X11 REQUIRED)
  add_executable(tapdeck-xkeywindow tests/browser/xkeywindow.cpp)
  target_link_libraries(tapdeck-xkeywindow PRIVATE X11::X11)
  tapdeck_warnings(tapdeck-xkeywindow)
endif()
