# pugixml reads the game's XML files. The Linux build links Debian's package; the Windows build
# compiles the library from Debian's source package of the same release.
if(CMAKE_CROSSCOMPILING)
  include(cmake/DebianSource.cmake)
  tapdeck_debian_source(pugixml pugixml_source)
  add_library(tapdeck_pugixml STATIC ${pugixml_source}/src/pugixml.cpp)
  target_include_directories(tapdeck_pugixml SYSTEM PUBLIC ${pugixml_source}/src)
  add_library(pugixml::pugixml ALIAS tapdeck_pugixml)
else()
  find_package(pugixml CONFIG REQUIRED)
endif()
