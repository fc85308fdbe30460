include(cmake/googletest.cmake)
include(GoogleTest)

add_executable(tapdeck_tests)
target_link_libraries(tapdeck_tests PRIVATE tapdeck_core GTest::gtest GTest::gtest_main GTest::gmock)
tapdeck_warnings(tapdeck_tests)
add_dependencies(tapdeck_tests tapdeck_webroot)
# The sanitizer builds compile the test framework's headers once instead of in every test file.
# Only unoptimised builds: with the header, GCC 12 inlines string concatenations differently at
# -O2 and reports false out-of-bounds copies in them.
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  target_precompile_headers(tapdeck_tests PRIVATE <gtest/gtest.h> <gmock/gmock.h> <string> <vector>
                            <thread> <filesystem> <chrono> <functional> <map>)
endif()
target_compile_definitions(tapdeck_tests PRIVATE
  TAPDECK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  TAPDECK_SHARED_DIR="${CMAKE_SOURCE_DIR}/../shared")

include(tests/base/tests.cmake)
include(tests/page/tests.cmake OPTIONAL)
include(tests/web/tests.cmake OPTIONAL)
include(tests/keys/tests.cmake OPTIONAL)
include(tests/joystick/tests.cmake OPTIONAL)
include(tests/log/tests.cmake)
include(tests/game/tests.cmake)
include(tests/app/tests.cmake OPTIONAL)
include(tests/browser/tests.cmake OPTIONAL)
include(tests/load/tests.cmake)
include(tests/kernel/tests.cmake)

# Discovered when CTest runs, so a cross build can list its tests through an emulator. The
# tests that listen on the fixed port 8080 carry "Port8080" in their suite's name and never
# run at the same time.
gtest_discover_tests(tapdeck_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 TEST_FILTER "-*Port8080*"
                     WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
gtest_discover_tests(tapdeck_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 TEST_FILTER "*Port8080*"
                     WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
                     PROPERTIES RESOURCE_LOCK port8080)

# The core never includes anything of app/ (the program and its window), directly or through
# a header of its own.
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/tapdeck_core_sources.txt
     CONTENT "$<JOIN:$<TARGET_PROPERTY:tapdeck_core,SOURCES>,\n>\n")
add_test(NAME CoreIncludesNothingFromApp
         COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
                 -DSOURCE_LIST=${CMAKE_BINARY_DIR}/tapdeck_core_sources.txt
                 -P ${CMAKE_SOURCE_DIR}/cmake/CheckCoreIncludes.cmake)
