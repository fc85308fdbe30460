# The windowed program on Windows: the native Win32 view over the toolkit-free window
# controller, with its manifest and version resource. No GUI toolkit is needed.
enable_language(RC)

# The view on its own, so that the view tests link the same code as the program.
add_library(tapdeck_gui STATIC
  app/fMainWin32.cpp
  app/fDevicesWin32.cpp
  app/fPairingCardWin32.cpp
  app/uDialogsWin32.cpp
  app/uWin32Window.cpp
)
# ole32 and uuid: the system's folder picker is a COM object.
target_link_libraries(tapdeck_gui PUBLIC tapdeck_window comctl32 shell32 user32 gdi32 ole32 uuid)
tapdeck_warnings(tapdeck_gui)

add_executable(tapdeck WIN32 app/Tapdeck_win32.cpp app/Tapdeck.rc)
set_target_properties(tapdeck PROPERTIES OUTPUT_NAME Tapdeck)
target_link_libraries(tapdeck PRIVATE tapdeck_gui)
# The wide entry point, wWinMain (MSVC finds it by itself).
if(MINGW)
  target_link_options(tapdeck PRIVATE -municode)
endif()
tapdeck_warnings(tapdeck)
add_dependencies(tapdeck tapdeck_webroot)

# Together in one folder: the program, its page files and the example panels.
install(TARGETS tapdeck RUNTIME DESTINATION .)
install(FILES ${TAPDECK_WEBROOT_FILES} DESTINATION .)
install(DIRECTORY panels/ DESTINATION panels FILES_MATCHING PATTERN "*.json")
