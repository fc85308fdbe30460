# Programs that run inside the test kernel (tests/kernel/run.sh boots it; not CTest): the
# device checks, and the same devices read through SDL 2 as a game reads them. Linux only;
# built only when run.sh asks for them.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_library(tapdeck_guest_support STATIC EXCLUDE_FROM_ALL
    tests/kernel/GuestSupport.cpp
    tests/support/LoopbackClient.cpp
    tests/support/LoopbackClient_posix.cpp
    tests/web/ChildProcess.cpp
    tests/web/ChildProcess_posix.cpp
  )
  target_link_libraries(tapdeck_guest_support PUBLIC tapdeck_core)
  tapdeck_warnings(tapdeck_guest_support)

  add_executable(tapdeck-kernel-check EXCLUDE_FROM_ALL tests/kernel/tapdeck-kernel-check.cpp)
  target_link_libraries(tapdeck-kernel-check PRIVATE tapdeck_guest_support)
  tapdeck_warnings(tapdeck-kernel-check)
  add_dependencies(tapdeck-kernel-check tapdeck-headless)

  # Debian: libsdl2-dev (scripts/deps.sh kernel).
  find_package(SDL2 CONFIG QUIET)
  if(TARGET SDL2::SDL2)
    add_executable(tapdeck-sdl-check EXCLUDE_FROM_ALL tests/kernel/tapdeck-sdl-check.cpp)
    target_link_libraries(tapdeck-sdl-check PRIVATE tapdeck_guest_support SDL2::SDL2)
    tapdeck_warnings(tapdeck-sdl-check)
    add_dependencies(tapdeck-sdl-check tapdeck-headless)
  endif()
endif()
