# libFuzzer targets (preset "fuzz": clang with -fsanitize=fuzzer-no-link,address,undefined
# for everything, so the core library carries the coverage instrumentation). Each target
# links libFuzzer's main; scripts/fuzz.sh builds and runs them.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "The fuzz targets need clang (libFuzzer); use the preset \"fuzz\"")
endif()

set(TAPDECK_FUZZ_TARGETS
  HTTPConnectionFuzz
  FieldListFuzz
  ButtonsIdsFuzz
  SendKeysFuzz
  StringsFuzz
  PanelFileFuzz
  BindsFileFuzz
)
add_custom_target(tapdeck_fuzz)
foreach(name ${TAPDECK_FUZZ_TARGETS})
  add_executable(${name} fuzz/${name}.cpp)
  target_link_libraries(${name} PRIVATE tapdeck_core)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  tapdeck_warnings(${name})
  add_dependencies(tapdeck_fuzz ${name})
endforeach()
# The request target serves over a connection held in memory, waits for its key-sequence
# workers through the keyboard it selects, and serves the page files beside the executable.
target_sources(HTTPConnectionFuzz PRIVATE tests/support/KeyboardWatch.cpp tests/support/MemoryByteChannel.cpp)
add_dependencies(HTTPConnectionFuzz tapdeck_webroot)
