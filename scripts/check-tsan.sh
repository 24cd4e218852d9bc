#!/usr/bin/env bash
# Builds the concurrency tests with clang-14 and ThreadSanitizer in
# build-tsan and runs them: the export on many threads at once, the
# diagnostics switch flipped meanwhile. Fails on any failed test or any
# race that ThreadSanitizer reports.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "-h" ] || [ "${1:-}" = "--help" ]; then
  sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2

bash scripts/install-deps.sh clang-14 libclang-rt-14-dev libgtest-dev cmake make

CC=clang-14 CXX=clang++-14 cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUENDRAL_WERROR=ON -DQUENDRAL_BUILD_TOOLS=OFF -DQUENDRAL_BUILD_FUZZ_REPLAY=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build build-tsan -j"$jobs" --target quendral_concurrency_tests >/dev/null
# A reported race ends the run with a failure, whatever the tests said.
TSAN_OPTIONS="halt_on_error=1 exitcode=66 ${TSAN_OPTIONS:-}" \
  build-tsan/tests/quendral_concurrency_tests --gtest_repeat=3 --gtest_brief=1
