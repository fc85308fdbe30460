target_sources(tapdeck_core PRIVATE
  game/uGameFolders.cpp
  game/uGameState.cpp
  game/uStatusFile.cpp
  game/uToggleStore.cpp
)
# The game's folders: the user's home on Linux, the known folders on Windows.
if(WIN32)
  target_sources(tapdeck_core PRIVATE game/uGameFolders_win32.cpp)
  target_link_libraries(tapdeck_core PUBLIC shell32 ole32)
else()
  target_sources(tapdeck_core PRIVATE game/uGameFolders_posix.cpp)
endif()
