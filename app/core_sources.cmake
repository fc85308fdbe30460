# The log belongs to the application shell but has no toolkit, so it lives in the core.
target_sources(tapdeck_core PRIVATE
  app/uGlobals.cpp
)
if(WIN32)
  target_sources(tapdeck_core PRIVATE app/uWindowMessages_win32.cpp)
else()
  target_sources(tapdeck_core PRIVATE app/uWindowMessages_posix.cpp)
endif()
