# Keystroke synthesis: the key-sequence player and the keyboard it plays into.
target_sources(tapdeck_core PRIVATE
  keys/uKeyboard.cpp
  keys/uKeyboardRecorder.cpp
  keys/uSendKeys.cpp
  keys/uUSLayout.cpp
  keys/uUSLayoutTable.cpp
)
# The system keyboard: one implementation per platform, picked here.
if(WIN32)
  target_sources(tapdeck_core PRIVATE keys/uKeyboard_win32.cpp)
else()
  find_package(X11 REQUIRED)
  if(NOT TARGET X11::Xtst)
    message(FATAL_ERROR "libXtst is missing (Debian: libxtst-dev)")
  endif()
  target_sources(tapdeck_core PRIVATE
    keys/uKeyboard_linux.cpp
    keys/uKeyboardUinput_linux.cpp
    keys/uKeyboardXTest_linux.cpp
    keys/uKeyMap_linux.cpp
  )
  target_link_libraries(tapdeck_core PUBLIC X11::X11 X11::Xtst)
endif()
