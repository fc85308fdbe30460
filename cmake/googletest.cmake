# GoogleTest: the system's package natively; in a cross build the sources are compiled with
# the cross compiler (the distribution packages only the build machine's libraries).
if(CMAKE_CROSSCOMPILING AND TAPDECK_GTEST_SOURCE_DIR)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_SHARED_LIBS OFF)
  add_subdirectory(${TAPDECK_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
endif()
