# Benchmarks, built with the release preset. The HTTP benchmark (bench/http.sh) is a script
# that measures the release build of tapdeck-headless against nginx; it needs no target here.
