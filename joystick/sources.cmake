target_sources(tapdeck_core PRIVATE
  joystick/vJoyClass.cpp
  joystick/vJoyIF.cpp
  joystick/vJoySimulated.cpp
)
# The platform's own driver library: CreateSystemvJoyLibrary is defined by exactly one of these.
if(WIN32)
  target_sources(tapdeck_core PRIVATE joystick/vJoyLibrary_win32.cpp)
else()
  target_sources(tapdeck_core PRIVATE joystick/vJoyUinput_linux.cpp)
endif()
