target_sources(tapdeck_tests PRIVATE
  tests/joystick/vJoyClassTest.cpp
  tests/joystick/vJoySimulatedTest.cpp
)
if(NOT WIN32)
  target_sources(tapdeck_tests PRIVATE tests/joystick/vJoyUinputTest.cpp)
endif()
