# The window's behaviour through a fake view, with the real service on loopback.
target_sources(tapdeck_tests PRIVATE
  tests/app/fMainTest.cpp
  tests/app/WindowTestSupport.cpp
  tests/app/uSpinEditTest.cpp
)
target_link_libraries(tapdeck_tests PRIVATE tapdeck_window)

# The Qt view: a suite of its own, so that the main suite needs no toolkit.
if(TAPDECK_BUILD_GUI AND NOT WIN32)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(tapdeck_qt_tests
    tests/app/fMainQtTest.cpp
    tests/app/WindowTestSupport.cpp
    tests/web/HTTPTestSupport.cpp
  )
  target_link_libraries(tapdeck_qt_tests PRIVATE tapdeck_gui Qt6::Test GTest::gtest GTest::gmock)
  tapdeck_warnings(tapdeck_qt_tests)
  add_dependencies(tapdeck_qt_tests tapdeck_webroot)
  gtest_discover_tests(tapdeck_qt_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
                       PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 60)
endif()

# The Win32 view: a suite of its own, run on a display by scripts/windows.sh.
if(TAPDECK_BUILD_GUI AND WIN32)
  add_executable(tapdeck_win32_view_tests
    tests/app/fMainWin32Test.cpp
    tests/app/WindowTestSupport.cpp
    tests/web/HTTPTestSupport.cpp
    tests/support/TempDir.cpp
    app/Tapdeck.rc  # the program's manifest: the same common controls and DPI awareness
  )
  target_link_libraries(tapdeck_win32_view_tests PRIVATE tapdeck_gui GTest::gtest GTest::gtest_main)
  tapdeck_warnings(tapdeck_win32_view_tests)
  add_dependencies(tapdeck_win32_view_tests tapdeck_webroot)
endif()
