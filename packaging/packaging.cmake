# The release packages, made with CPack by scripts/package.sh into build/packages/:
#   from the Linux build:  tapdeck_<version>_amd64.deb
#   from the MinGW build:  Tapdeck-<version>-win64-setup.exe (NSIS) and Tapdeck-<version>-win64.zip
# The packaged program is stripped (CPACK_STRIP_FILES). Its debugging symbols stay in a file of
# their own beside the built program (tapdeck.debug, Tapdeck.exe.debug), which a debugger finds
# through the debug link the program carries: keep it with the release for crash reports.

if(NOT MSVC AND CMAKE_OBJCOPY)
  add_custom_command(TARGET tapdeck POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:tapdeck> $<TARGET_FILE:tapdeck>.debug
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE:tapdeck>.debug $<TARGET_FILE:tapdeck>
    COMMENT "Keeping the program's symbols in $<TARGET_FILE_NAME:tapdeck>.debug"
    VERBATIM)
endif()

set(CPACK_PACKAGE_NAME Tapdeck)
set(CPACK_PACKAGE_VENDOR "The Tapdeck developers")
# The synopsis starts without an article, as Debian asks.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Button panel for PC games in the browser of a phone or tablet")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tapdeck)
set(CPACK_STRIP_FILES ON)
# MIT: the installer shows it on its licence page; the Debian package's copyright file holds it.
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
# Per-generator settings, read when cpack runs.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackOptions.cmake)

if(WIN32)
  set(CPACK_GENERATOR NSIS ZIP)
  set(CPACK_SYSTEM_NAME win64)
  # The installer's script: packaging/windows/NSIS.template.in.
  set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/windows)
  set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/app/icons/tapdeck.ico)
  set(CPACK_NSIS_MUI_UNIICON ${CMAKE_SOURCE_DIR}/app/icons/tapdeck.ico)
  set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
  # The licence travels with every copy: beside the program, in the installer and the zip.
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_NAME tapdeck)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # Not "games": that section is for games themselves, installed in /usr/games.
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The field needs an address; example.org stands in until the project has one of its own.
  set(TAPDECK_PACKAGE_MAINTAINER "Tapdeck developers <tapdeck@example.org>"
      CACHE STRING "The Debian package's maintainer, as \"Name <address>\"")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAPDECK_PACKAGE_MAINTAINER}")
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
      "Tapdeck serves a page of tabs and buttons to the browser of a phone or tablet\n"
      "on the same network. Each tap comes back as a small HTTP request that Tapdeck\n"
      "turns into keystrokes on the PC, or into button presses of a virtual joystick\n"
      "that a game sees as a controller.")
  # The libraries come from the program itself (dpkg-shlibdeps); Qt's X11 platform plugin is
  # loaded at run time, so no library names it.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
  # Open Browser goes through xdg-open.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/postinst)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # One package of the program's files and the "deb" component below.
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL Unspecified deb)
  set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

  # The manual page, and the package's changelog made from the version.
  set(docs ${CMAKE_BINARY_DIR}/packaging)
  string(TIMESTAMP TAPDECK_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${docs}/changelog @ONLY)
  add_custom_command(OUTPUT ${docs}/tapdeck.1.gz ${docs}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/app/linux/tapdeck.1 ${docs}/tapdeck.1
    COMMAND gzip -9nf ${docs}/tapdeck.1
    COMMAND gzip -9nkf ${docs}/changelog
    DEPENDS ${CMAKE_SOURCE_DIR}/app/linux/tapdeck.1 ${docs}/changelog
    COMMENT "Compressing the manual page and the changelog" VERBATIM)
  add_custom_target(tapdeck_docs ALL DEPENDS ${docs}/tapdeck.1.gz ${docs}/changelog.gz)
  install(FILES ${docs}/tapdeck.1.gz DESTINATION share/man/man1)

  # Files only the Debian package installs: the system's own places for the udev rule and for
  # loading uinput at boot, and the package's documents.
  install(FILES app/linux/70-tapdeck-uinput.rules DESTINATION lib/udev/rules.d COMPONENT deb EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/modules-load.conf DESTINATION lib/modules-load.d
          RENAME tapdeck.conf COMPONENT deb EXCLUDE_FROM_ALL)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${docs}/changelog.gz DESTINATION share/doc/tapdeck
          COMPONENT deb EXCLUDE_FROM_ALL)
endif()

include(CPack)
