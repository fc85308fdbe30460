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
# The window's icon, built into the program (made by app/icons/make-icons.sh).
set(TAPDECK_ICON_SIZES 16 24 32 48 64 128 256)
set(TAPDECK_ICON_PNGS ${TAPDECK_ICON_SIZES})
list(TRANSFORM TAPDECK_ICON_PNGS PREPEND app/icons/tapdeck-)
list(TRANSFORM TAPDECK_ICON_PNGS APPEND .png)
qt_add_resources(tapdeck_gui tapdeck_icons PREFIX /icons BASE app/icons FILES ${TAPDECK_ICON_PNGS})

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
  foreach(size ${TAPDECK_ICON_SIZES})
    install(FILES app/icons/tapdeck-${size}.png DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME tapdeck.png)
  endforeach()
  install(FILES app/icons/tapdeck.svg DESTINATION share/icons/hicolor/scalable/apps)
  # The example panels, beside the page files.
  install(DIRECTORY panels/ DESTINATION lib/tapdeck/panels FILES_MATCHING PATTERN "*.json")
  # Optional: `cmake --install <build> --component udev` (as root) gives the user at the seat
  # access to /dev/uinput.
  install(FILES app/linux/70-tapdeck-uinput.rules DESTINATION /etc/udev/rules.d COMPONENT udev EXCLUDE_FROM_ALL)
endif()
