# tapdeck-load: load and fault checks against tapdeck-headless as a program, run by
# scripts/load-tests.sh rather than CTest (it needs a raised open-file limit and a minute).
# Linux only: it reads the program's memory and threads from /proc.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_executable(tapdeck-load
    tests/load/tapdeck-load.cpp
    tests/support/LoopbackClient.cpp
    tests/support/LoopbackClient_posix.cpp
    tests/web/ChildProcess_posix.cpp
  )
  target_include_directories(tapdeck-load PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(tapdeck-load PRIVATE Threads::Threads)
  tapdeck_warnings(tapdeck-load)
  add_dependencies(tapdeck-load tapdeck-headless)
endif()
