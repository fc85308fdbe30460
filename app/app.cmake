# The windowed program: the Qt 6 Widgets view over the toolkit-free window controller.
# Windows has a native view of its own instead.
if(WIN32)
  include(app/app_win32.cmake)
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Widgets)

# The view on its own, so that the view tests link the same code as the program.
add_library(tapdeck_gui STATIC app/fMainQt.cpp)
target_link_libraries(tapdeck_gui PUBLIC tapdeck_window Qt6::Widgets)
tapdeck_warnings(tapdeck_gui)

add_executable(tapdeck app/Tapdeck.cpp)
target_link_libraries(tapdeck PRIVATE tapdeck_gui)
tapdeck_warnings(tapdeck)
# The program reads its page files from beside itself.
add_dependencies(tapdeck tapdeck_webroot)
if(WIN32)
  set_target_properties(tapdeck PROPERTIES OUTPUT_NAME Tapdeck WIN32_EXECUTABLE ON)
endif()

# Installed together: the program and its three page files under lib/tapdeck/, with
# bin/tapdeck a link to it (the program finds its files through its own resolved path).
install(TARGETS tapdeck RUNTIME DESTINATION lib/tapdeck)
install(FILES ${TAPDECK_WEBROOT_FILES} DESTINATION lib/tapdeck)
if(NOT WIN32)
  install(CODE [[
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
    file(CREATE_LINK ../lib/tapdeck/tapdeck "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/tapdeck" SYMBOLIC)
  ]])
  install(FILES app/linux/tapdeck.desktop DESTINATION share/applications)
  # Optional: `cmake --install <build> --component udev` (as root) gives the user at the seat
  # access to /dev/uinput.
  install(FILES app/linux/70-tapdeck-uinput.rules DESTINATION /etc/udev/rules.d COMPONENT udev EXCLUDE_FROM_ALL)
endif()
