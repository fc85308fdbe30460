# The diagnostic log, which the key-sequence workers report to.
target_sources(tapdeck_core PRIVATE log/uGlobals.cpp)
# Posting the log's notification to a window: one file per platform, picked here.
if(WIN32)
  target_sources(tapdeck_core PRIVATE log/uWindowMessages_win32.cpp)
else()
  target_sources(tapdeck_core PRIVATE log/uWindowMessages_posix.cpp)
endif()
