target_sources(tapdeck_tests PRIVATE
  tests/joystick/vJoyClassTest.cpp
  tests/joystick/vJoySimulatedTest.cpp
)
if(NOT WIN32)
  target_sources(tapdeck_tests PRIVATE tests/joystick/vJoyUinputTest.cpp)
  # /dev/uinput for the installed program where the kernel has none (scripts/package-tests.sh).
  add_library(uinput_standin SHARED tests/joystick/UinputStandIn_linux.cpp)
  target_link_libraries(uinput_standin PRIVATE ${CMAKE_DL_LIBS})
  tapdeck_warnings(uinput_standin)
endif()
if(WIN32)
  # Stand-ins for the driver's library, each in a folder of its own beside the tests.
  add_library(vjoy_double SHARED tests/joystick/vJoyInterfaceDouble_win32.cpp)
  add_library(vjoy_double_incomplete SHARED tests/joystick/vJoyInterfaceDouble_win32.cpp)
  target_compile_definitions(vjoy_double_incomplete PRIVATE VJOY_DOUBLE_WITHOUT_RESETPOVS)
  foreach(double vjoy_double vjoy_double_incomplete)
    set_target_properties(${double} PROPERTIES OUTPUT_NAME vJoyInterface PREFIX ""
                          RUNTIME_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${double}
                          ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${double})
    tapdeck_warnings(${double})
  endforeach()
  add_dependencies(tapdeck_tests vjoy_double vjoy_double_incomplete)
  target_sources(tapdeck_tests PRIVATE tests/joystick/vJoyLibrary_win32Test.cpp)
endif()
