# The player's key bindings: the .binds reader, the presets and the watcher.
target_sources(tapdeck_core PRIVATE
  game/uBindings.cpp
  game/uBindingsWatcher.cpp
  game/uBindsFile.cpp
  game/uBindsKeys.cpp
)
target_link_libraries(tapdeck_core PRIVATE pugixml::pugixml)
if(WIN32)
  target_sources(tapdeck_core PRIVATE game/uBindings_win32.cpp game/uSharedFile_win32.cpp)
else()
  target_sources(tapdeck_core PRIVATE game/uBindings_linux.cpp game/uSharedFile_posix.cpp)
endif()
