# Sources of this subsystem are listed here.
target_sources(tapdeck_core PRIVATE)
