# Cross build for 64-bit Windows with MinGW-w64 (the posix thread model, for std::thread).
# Tests run through Wine, so CTest and test discovery work on the build machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAPDECK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAPDECK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAPDECK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAPDECK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAPDECK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no MinGW runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine with a private prefix inside the build folder, a fixed locale (so the ANSI code page is
# Windows-1252) and no display (so the keyboard layout is Wine's own US one): runs depend
# neither on ~/.wine nor on the caller's environment.
find_program(TAPDECK_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TAPDECK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env --unset=LC_ALL --unset=DISPLAY LANG=C.UTF-8 WINEDEBUG=-all WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix ${TAPDECK_WINE})
endif()

# Debian ships GoogleTest for Linux only; the cross build compiles it from source.
set(TAPDECK_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources built into the cross build")
