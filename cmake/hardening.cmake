# The usual hardening of optimised builds (Release, RelWithDebInfo, MinSizeRel: the presets the
# packages and CI use), as Debian's build flags give it. Debug builds (the sanitizer and fuzz
# presets) go without: _FORTIFY_SOURCE needs optimisation, and the sanitizers check more.
#   Linux:   buffer checks of the C library's functions, stack protection, and relocations made
#            read-only after loading (full RELRO, so no lazy binding);
#   Windows: address-space randomisation (64-bit) and a stack that cannot run code.
set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
if(MSVC)
  # The MSVC linker does all three by default.
elseif(WIN32)
  add_link_options("$<${optimised}:LINKER:--dynamicbase,--nxcompat,--high-entropy-va>")
else()
  # A compiler that sets _FORTIFY_SOURCE itself (Ubuntu's sets 3) is told the level once.
  add_compile_options("$<${optimised}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2;-fstack-protector-strong>")
  add_link_options("$<${optimised}:LINKER:-z,relro,-z,now>")
endif()
