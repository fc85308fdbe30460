target_sources(tapdeck_tests PRIVATE tests/app/uGlobalsTest.cpp)
target_sources(tapdeck_tests PRIVATE tests/app/uSpinEditTest.cpp)
