# libqrencode draws the pairing card's QR code. The Windows build compiles the library from
# Debian's source package (Linux links Debian's package through pkg-config instead).
include(cmake/DebianSource.cmake)
enable_language(C)
tapdeck_debian_source(qrencode qrencode_source)
add_library(tapdeck_qrencode STATIC
  ${qrencode_source}/bitstream.c
  ${qrencode_source}/mask.c
  ${qrencode_source}/mmask.c
  ${qrencode_source}/mqrspec.c
  ${qrencode_source}/qrencode.c
  ${qrencode_source}/qrinput.c
  ${qrencode_source}/qrspec.c
  ${qrencode_source}/rsecc.c
  ${qrencode_source}/split.c
)
target_include_directories(tapdeck_qrencode SYSTEM PUBLIC ${qrencode_source})
# What the library's own configure step would define; no threads (one code at a time).
target_compile_definitions(tapdeck_qrencode PRIVATE
  STATIC_IN_RELEASE=static MAJOR_VERSION=4 MINOR_VERSION=1 MICRO_VERSION=1 VERSION="4.1.1")
