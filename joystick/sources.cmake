target_sources(tapdeck_core PRIVATE
  joystick/vJoyClass.cpp
  joystick/vJoyIF.cpp
  joystick/vJoySimulated.cpp
)
# The platform's own driver library: CreateSystemvJoyLibrary is defined by exactly one of these.
if(WIN32)
  target_sources(tapdeck_core PRIVATE joystick/vJoyLibrary_win32.cpp)
  # The driver's folder is found through the known-folder API.
  target_link_libraries(tapdeck_core PUBLIC shell32 ole32)
else()
  target_sources(tapdeck_core PRIVATE joystick/vJoyUinput_linux.cpp)
endif()
