target_sources(tapdeck_tests PRIVATE
  tests/game/uBindingsTest.cpp
  tests/game/uBindsFileTest.cpp
  tests/game/uGameFoldersTest.cpp
  tests/game/uGameStateTest.cpp
  tests/game/uStatusFileTest.cpp
  tests/game/uToggleStoreTest.cpp
)
