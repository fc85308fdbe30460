# Debian's own source package of a library, for a build that Debian ships no binaries for (the
# Windows build): fetched with apt through cmake/debian-source.sh, which keeps apt's lists and
# downloads under TAPDECK_DEBIAN_SOURCE_CACHE and never changes the system's apt settings.
#
#   tapdeck_debian_source(<name> <out-var> [VERSION <debian-version>])
#
# unpacks the package, Debian's patches applied, into <build>/debian-src/<name> once and sets
# <out-var> to that folder; later configures use it as it is, without the network.
set(TAPDECK_DEBIAN_SOURCE_CACHE ${CMAKE_SOURCE_DIR}/build/debian-sources
    CACHE PATH "Downloads and apt state for the Debian source packages the build compiles")

function(tapdeck_debian_source name out_var)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "VERSION" "")
  set(package_version ${name})
  if(ARG_VERSION)
    set(package_version ${name}=${ARG_VERSION})
  endif()
  set(dest ${CMAKE_BINARY_DIR}/debian-src/${name})
  if(NOT EXISTS ${dest}/.debian-source)
    message(STATUS "Fetching Debian's source package ${package_version}")
    execute_process(
      COMMAND bash ${CMAKE_SOURCE_DIR}/cmake/debian-source.sh ${package_version} ${dest} ${TAPDECK_DEBIAN_SOURCE_CACHE}
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "Debian's source package ${package_version} could not be fetched (see above); "
                          "it needs the network once, apt-get and dpkg-source (scripts/deps.sh windows)")
    endif()
  endif()
  set(${out_var} ${dest} PARENT_SCOPE)
endfunction()
