#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ (clang, address and undefined-
# behaviour sanitizers), writes their seed inputs from the default pack and
# runs each target for a fixed time. Fails on any finding: a crash, a
# sanitizer report, a leak, a broken promise the target checks, a slow input
# (over 10 s) or one that needs over 2 GB.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
#
# The corpus each target grows is kept in build-fuzz/fuzz-corpus/, so that
# repeated local runs go on where the last stopped; findings are written to
# build-fuzz/fuzz-findings/. See fuzz/README.md for longer runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/deps.sh clang
# The sanitizer and fuzzer runtimes of the clang found, whatever its version.
bash scripts/deps.sh "libclang-rt-$(clang -dumpversion | cut -d. -f1)-dev"

seconds=${1:-${KESTRL_FUZZ_SECONDS:-20}}
shift || true
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DKESTRL_SANITIZE=ON -DKESTRL_FUZZ=ON \
  -DKESTRL_BUILD_TESTS=OFF -DKESTRL_BUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target kestrl_fuzzers -- -j2

seeds="$build/fuzz-seeds"
rm -rf "$seeds"
"$build/fuzz/kestrl_fuzz_seeds" "$seeds"

targets=("$@")
if ((${#targets[@]} == 0)); then
  for t in "$build"/fuzz/*_fuzz; do targets+=("$(basename "$t")"); done
fi

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
passed=0
failed=0
for t in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$t"
  findings="$build/fuzz-findings/$t"
  log="$build/fuzz-findings/$t.log"
  mkdir -p "$corpus" "$findings"
  if "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$seeds/$t" >"$log" 2>&1; then
    passed=$((passed + 1))
    result=ok
  else
    failed=$((failed + 1))
    result=FINDING
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1)
  echo "$t: $result, ${runs:-?} executions in ${seconds} s, ${cov:-no coverage line}"
  if [[ $result == FINDING ]]; then
    grep -m1 -E 'ERROR|kestrl fuzz|runtime error|SUMMARY' "$log" || true
    echo "  log: $log; inputs: $findings/"
  fi
done
echo "fuzz: $passed passed, $failed failed"
((failed == 0))
