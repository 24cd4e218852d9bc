#!/usr/bin/env bash
# Builds and runs every test: a Release build with GCC, a Debug build with
# clang under AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz
# targets for a bounded time, and the cross-platform checks. Both builds
# treat warnings as errors. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

if ! bash scripts/install-deps.sh; then
  echo "check: the build and tests need the packages named above; stopping" >&2
  exit 1
fi

echo "== Release build (GCC) =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUENDRAL_WERROR=ON -DQUENDRAL_BUILD_TESTS=ON \
  -DQUENDRAL_BUILD_FUZZ_REPLAY=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== Debug build (clang, AddressSanitizer + UndefinedBehaviorSanitizer) =="
CC=clang-14 CXX=clang++-14 cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug \
  -DQUENDRAL_SANITIZE=ON -DQUENDRAL_WERROR=ON
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

for step in scripts/check-fuzz.sh scripts/check-tsan.sh tests/scripts/cross_not_run_test.sh \
            scripts/check-cross.sh; do
  if [ -f "$step" ]; then
    echo "== $step =="
    bash "$step"
  fi
done
echo "All checks passed."
