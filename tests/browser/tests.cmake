# Browser tests (scripts/browser-tests.sh runs them with Node against tapdeck-headless) and
# the X clients their end-to-end tests read the keys with: one reads key events, one polls
# the key state once per frame as many games do.
if(NOT WIN32)
  find_package(X11 REQUIRED)
  add_executable(tapdeck-xkeywindow tests/browser/xkeywindow.cpp)
  target_link_libraries(tapdeck-xkeywindow PRIVATE X11::X11)
  tapdeck_warnings(tapdeck-xkeywindow)
  add_executable(tapdeck-xkeypoll tests/browser/xkeypoll.cpp)
  target_link_libraries(tapdeck-xkeypoll PRIVATE X11::X11 Threads::Threads)
  tapdeck_warnings(tapdeck-xkeypoll)
endif()
