# What the program learns from a game: the live state, the game's folders, its status file,
# the toggle cells' own state, and the player's key bindings (the .binds reader, the presets
# and the watcher).
target_sources(tapdeck_core PRIVATE
  game/uBindings.cpp
  game/uBindingsWatcher.cpp
  game/uBindsFile.cpp
  game/uBindsKeys.cpp
  game/uGameFolders.cpp
  game/uGameState.cpp
  game/uStatusFile.cpp
  game/uToggleStore.cpp
)
target_link_libraries(tapdeck_core PRIVATE pugixml::pugixml)
# The game's folders: the user's home on Linux, the known folders on Windows.
if(WIN32)
  target_sources(tapdeck_core PRIVATE game/uBindings_win32.cpp game/uGameFolders_win32.cpp)
  target_link_libraries(tapdeck_core PUBLIC shell32 ole32)
else()
  target_sources(tapdeck_core PRIVATE game/uBindings_linux.cpp game/uGameFolders_posix.cpp)
endif()
