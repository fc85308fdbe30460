# The main window's toolkit-free controller and the rules of its integer field: every view
# (Qt, Win32, the tests' fake view) drives this library, so the tests reach the window's
# behaviour without a display. It builds on the core; the core never reaches up into app/.
add_library(tapdeck_window STATIC
  app/fMain.cpp
  app/uSpinEdit.cpp
)
target_link_libraries(tapdeck_window PUBLIC tapdeck_core)
tapdeck_warnings(tapdeck_window)
