# The main window's toolkit-free controller and the rules of its integer field: every view
# (Qt, Win32, the tests' fake view) drives this library, so the tests reach the window's
# behaviour without a display. It builds on the core; the core never reaches up into app/.
add_library(tapdeck_window STATIC
  app/fMain.cpp
  app/uQRCode.cpp
  app/uSettings.cpp
  app/uSpinEdit.cpp
)
target_link_libraries(tapdeck_window PUBLIC tapdeck_core)
target_include_directories(tapdeck_window SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/json-include)
# The pairing card's QR code: libqrencode, the system's package on Linux; the Windows build
# compiles it from Debian's source package.
if(WIN32)
  include(cmake/qrencode.cmake)
  target_link_libraries(tapdeck_window PRIVATE tapdeck_qrencode)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(QRENCODE REQUIRED IMPORTED_TARGET libqrencode)
  target_link_libraries(tapdeck_window PRIVATE PkgConfig::QRENCODE)
endif()
tapdeck_warnings(tapdeck_window)
