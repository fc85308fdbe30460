target_sources(tapdeck_tests PRIVATE
  tests/keys/KeysTestSupport.cpp
  tests/support/KeyboardWatch.cpp
  tests/keys/uKeyboardTest.cpp
  tests/keys/uSendKeysTest.cpp
  tests/keys/uUSLayoutTest.cpp
)
if(NOT WIN32)
  target_sources(tapdeck_tests PRIVATE tests/keys/uKeyboardLinuxTest.cpp)
  target_link_libraries(tapdeck_tests PRIVATE X11::X11)
endif()
if(WIN32)
  target_sources(tapdeck_tests PRIVATE tests/keys/uKeyboard_win32Test.cpp)
endif()
