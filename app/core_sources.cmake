# The log and the window's toolkit-free behaviour belong to the application shell but use no
# toolkit, so they live in the core, where the tests reach them without a display.
target_sources(tapdeck_core PRIVATE
  app/fMain.cpp
  app/uGlobals.cpp
  app/uSpinEdit.cpp
)
if(WIN32)
  target_sources(tapdeck_core PRIVATE app/uWindowMessages_win32.cpp)
else()
  target_sources(tapdeck_core PRIVATE app/uWindowMessages_posix.cpp)
endif()
