#!/usr/bin/env bash
# Builds the fuzz targets with clang-14 and libFuzzer in build-fuzz and runs
# each for a bounded time, starting from the committed corpus and crashers;
# fails on any finding (a crash, a broken invariant, a leak, a timeout).
# New inputs go to build-fuzz/corpus, findings to build-fuzz/findings: the
# committed corpus is only read.
#
#   scripts/check-fuzz.sh [SECONDS_PER_TARGET]
#   (default: 30 s for load, whose input space is the largest, 10 s for the others)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-}"
if [ "$seconds" = "-h" ] || [ "$seconds" = "--help" ]; then
  sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
if [ -n "$seconds" ] && ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "check-fuzz: SECONDS_PER_TARGET must be a positive whole number, not '$seconds'" >&2
  exit 2
fi
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2

bash scripts/install-deps.sh clang-14 libclang-rt-14-dev cmake make

CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUENDRAL_BUILD_FUZZERS=ON -DQUENDRAL_BUILD_TESTS=OFF -DQUENDRAL_BUILD_TOOLS=OFF \
  -DQUENDRAL_WERROR=ON >/dev/null
targets=(load mark scale copy scale_stream convert)
cmake --build build-fuzz -j"$jobs" --target "${targets[@]/#/quendral_fuzz_}" >/dev/null

# Saved pictures go to memory where there is a memory file system.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
status=0
for t in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$t"
  findings="build-fuzz/findings/$t"
  mkdir -p "$corpus" "$findings"
  run_for="${seconds:-$([ "$t" = load ] && echo 30 || echo 10)}"
  options=(-max_total_time="$run_for" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$findings/")
  case "$t" in load|mark|convert) options+=(-dict=fuzz/bmp.dict) ;; esac
  echo "-- fuzzing $t for ${run_for}s"
  if ! build-fuzz/fuzz/quendral_fuzz_"$t" "${options[@]}" "$corpus" fuzz/corpus/"$t" \
       fuzz/crashers/"$t" > "build-fuzz/fuzz-$t.log" 2>&1; then
    status=1
    echo "check-fuzz: $t found a fault; the input is in $findings, the log in build-fuzz/fuzz-$t.log" >&2
    grep -E "ERROR|invariant broken|SUMMARY" "build-fuzz/fuzz-$t.log" | head -20 >&2 || true
  fi
  grep -E "^#[0-9]+[[:space:]]+DONE" "build-fuzz/fuzz-$t.log" || true
done
exit "$status"
