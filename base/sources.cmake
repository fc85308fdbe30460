target_sources(tapdeck_core PRIVATE
  base/uErrors.cpp
  base/uIntConv.cpp
  base/uRandom.cpp
  base/uSha256.cpp
  base/uStreams.cpp
  base/uStrings.cpp
  base/uText.cpp
)
# Platform services: one file per platform, picked here.
if(WIN32)
  target_sources(tapdeck_core PRIVATE
    base/uAddresses_win32.cpp
    base/uAnsiCodePage_win32.cpp
    base/uClock_win32.cpp
    base/uFiles_win32.cpp
    base/uLocalPeer_win32.cpp
    base/uRandom_win32.cpp
    base/uSockets_win32.cpp
    base/uThreads_win32.cpp
    base/uUserFolders_win32.cpp
  )
  # The local address list.
  target_link_libraries(tapdeck_core PUBLIC iphlpapi ws2_32)
  # The secure random source.
  target_link_libraries(tapdeck_core PUBLIC bcrypt)
else()
  target_sources(tapdeck_core PRIVATE
    base/uAddresses_linux.cpp
    base/uAnsiCodePage_posix.cpp
    base/uClock_posix.cpp
    base/uFiles_posix.cpp
    base/uLocalPeer_posix.cpp
    base/uRandom_posix.cpp
    base/uSockets_posix.cpp
    base/uThreads_posix.cpp
    base/uUserFolders_posix.cpp
  )
endif()
