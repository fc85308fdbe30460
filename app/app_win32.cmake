# The windowed program on Windows: the native Win32 view over the toolkit-free window
# controller, with its manifest and version resource. No GUI toolkit is needed.
enable_language(RC)
add_executable(tapdeck WIN32 app/Tapdeck_win32.cpp app/fMainWin32.cpp app/Tapdeck.rc)
set_target_properties(tapdeck PROPERTIES OUTPUT_NAME Tapdeck)
target_link_libraries(tapdeck PRIVATE tapdeck_window comctl32 shell32 user32 gdi32)
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
