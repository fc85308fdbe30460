#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz") and runs each for a bounded time, two at a
# time: the request target for 3 x FUZZ_SECONDS, the others in turn beside it.
# Usage: [FUZZ_SECONDS=30] scripts/fuzz.sh
# Fails on any crash, sanitizer report, leak, per-input timeout, out-of-memory or failed
# check; the input that did it is kept under build/fuzz/findings/<target>/ and named in the
# output. Working corpora live in build/fuzz/corpus/<target>/ and carry over between runs;
# the seeds in fuzz/corpus/ and ../shared/corpus/http-requests are only read.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-30}
scripts/deps.sh build fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

bin=build/fuzz/bin
findings=build/fuzz/findings
logs=build/fuzz/logs
rm -rf "$findings" "$logs"
mkdir -p "$findings" "$logs"
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# run TARGET SECONDS MAX_LEN [SEED_DIR...]
run() {
  local name=$1 time=$2 maxlen=$3
  shift 3
  local corpus=build/fuzz/corpus/$name
  local extra=()
  [ -f "fuzz/$name.dict" ] && extra+=(-dict="fuzz/$name.dict")
  mkdir -p "$corpus" "$findings/$name"
  local seeds=("fuzz/corpus/$name")
  for dir in "$@"; do [ -d "$dir" ] && seeds+=("$dir"); done
  local status=0
  # The outer limit only catches a fuzzer that hangs outside any one input.
  timeout --kill-after=10 $((time + 120)) "$bin/$name" -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 \
    -max_len="$maxlen" -detect_leaks=1 -print_final_stats=1 -artifact_prefix="$findings/$name/" "${extra[@]}" \
    "$corpus" "${seeds[@]}" >"$logs/$name.log" 2>&1 || status=$?
  local found
  found=$(find "$findings/$name" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | sort)
  if [ "$status" -ne 0 ] || [ -n "$found" ]; then
    echo "FAIL $name (exit status $status); log: $logs/$name.log"
    grep -E 'ERROR|SUMMARY|check failed|Test unit written|==[0-9]+==' "$logs/$name.log" | head -n 20 || true
    for f in $found; do echo "  input: $f (reproduce: $bin/$name $f)"; done
    return 1
  fi
  echo "ok   $name: $(grep -E '^stat::number_of_executed_units' "$logs/$name.log" | awk '{print $2}') inputs in ${time}s," \
    "corpus $(find "$corpus" -type f | wc -l) files"
}

# The shared request corpus seeds the request target where it is: its *.http files are
# linked, not copied, so its notes and index stay out.
requests=build/fuzz/seeds/http-requests
rm -rf "$requests"
mkdir -p "$requests"
for f in ../shared/corpus/http-requests/*.http; do
  [ -f "$f" ] && ln -s "$(realpath "$f")" "$requests/"
done

half=$(( (seconds + 1) / 2 ))
third=$(( (seconds + 2) / 3 ))
failed=0
run HTTPConnectionFuzz $((3 * seconds)) 4096 "$requests" &
http=$!
{
  status=0
  run FieldListFuzz "$seconds" 4096 || status=1
  run SendKeysFuzz "$seconds" 512 || status=1
  run StringsFuzz "$half" 4096 || status=1
  run ButtonsIdsFuzz "$half" 4096 || status=1
  run PanelFileFuzz "$half" 8192 || status=1
  run BindsFileFuzz "$third" 16384 || status=1
  exit $status
} &
others=$!
wait "$http" || failed=1
wait "$others" || failed=1
if [ "$failed" -ne 0 ]; then
  echo "fuzzing found problems (inputs under $findings/)" >&2
  exit 1
fi
echo "fuzzing passed"
