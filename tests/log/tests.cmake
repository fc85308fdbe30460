target_sources(tapdeck_tests PRIVATE tests/log/uGlobalsTest.cpp)
