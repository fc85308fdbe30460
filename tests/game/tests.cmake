# The player's key bindings.
target_sources(tapdeck_tests PRIVATE
  tests/game/uBindingsTest.cpp
  tests/game/uBindsFileTest.cpp
)
