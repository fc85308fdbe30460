# tapdeck-headless: the runner for tests and benchmarks.
