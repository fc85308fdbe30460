# Benchmarks, built with the release preset (TAPDECK_BUILD_BENCH) and run by hand.
# The HTTP benchmark (bench/http.sh) is a script that measures the release build of
# tapdeck-headless against nginx; it needs no target here.

# Tap-to-event latency, measured on tapdeck-headless through its output pipe (Linux only).
if(NOT WIN32)
  add_executable(tap-latency bench/tap-latency.cpp tests/web/ChildProcess_posix.cpp)
  target_link_libraries(tap-latency PRIVATE tapdeck_core)
  tapdeck_warnings(tap-latency)
  add_dependencies(tap-latency tapdeck-headless)
endif()

# Google Benchmark programs (Debian: libbenchmark-dev, in scripts/deps.sh bench).
find_package(benchmark QUIET)
if(benchmark_FOUND AND NOT WIN32)
  foreach(name page-bench keys-bench)
    add_executable(${name} bench/${name}.cpp)
    target_link_libraries(${name} PRIVATE tapdeck_core benchmark::benchmark)
    tapdeck_warnings(${name})
  endforeach()
  add_dependencies(page-bench tapdeck_webroot)
elseif(NOT WIN32)
  message(STATUS "Google Benchmark not found (libbenchmark-dev): page-bench and keys-bench are not built")
endif()
