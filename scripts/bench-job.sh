#!/usr/bin/env bash
# The whole-job benchmark: builds a Release tree with the benchmarks, writes
# photo-like pictures at every depth (6000 x 4000 unless told otherwise),
# and prints, for each depth, the median time of Quendral(in, out) beside
# copying the same file in-process and with cp, and the same job through a
# whole picture in memory, with their ratios and peak memory; then one row
# at 12000 x 12000 (24 and 1 bits) to show that the job's memory does not grow
# with the picture.
#
#   scripts/bench-job.sh [--runs N] [--size WIDTHxHEIGHT] [--build DIR]
#                        [--dir DIR] [--library PATH] [--depths 24,32,8,4,1,16]
#                        [--no-large] [--replace]
#
#   --runs N       runs per depth and kind, each a fresh process (default 7)
#   --size WxH     picture size (default 6000x4000)
#   --build DIR    build tree to use or make (default build-bench)
#   --dir DIR      where the pictures are written and kept (default
#                  $TMPDIR/quendral-bench-WxH); outputs go there too
#   --library PATH the shared library to time (default the build tree's),
#                  for instance an older build to compare with
#   --depths LIST  depths to run, in this order
#   --no-large     leave out the 12000 x 12000 row (1.5 GB of pictures)
#   --replace      also time replacing an existing output, durably and with
#                  the flushes skipped (Linux)
#
# Run it on a quiet machine: other work shows up in the times (the table
# prints the load average before and after).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=7
size=6000x4000
build=build-bench
dir=""
library=""
depths=24,32,8,4,1,16
large=1
replace=0
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --size) size="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --dir) dir="$2"; shift 2 ;;
    --library) library="$2"; shift 2 ;;
    --depths) depths="$2"; shift 2 ;;
    --replace) replace=1; shift ;;
    --no-large) large=0; shift ;;
    -h|--help) sed -n '2,27p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench-job: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done
width="${size%x*}"
height="${size#*x}"
dir="${dir:-${TMPDIR:-/tmp}/quendral-bench-$size}"

bash scripts/install-deps.sh cmake g++ libbenchmark-dev
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUENDRAL_BUILD_BENCHMARKS=ON \
  -DQUENDRAL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target quendral_make_pictures quendral_job_bench quendral >/dev/null

mkdir -p "$dir"
if [ ! -f "$dir/photo-16.bmp" ]; then
  echo "Writing ${width} x ${height} pictures to $dir"
  "$build/bench/quendral_make_pictures" photos "$dir" "$width" "$height"
fi

# A higher priority where allowed keeps other work from landing in the times.
priority=()
if nice -n -5 true 2>/dev/null; then priority=(nice -n -5); fi
args=(--dir "$dir" --runs "$runs" --depths "$depths")
[ -n "$library" ] && args+=(--library "$library")
[ "$replace" -eq 1 ] && args+=(--replace)
"${priority[@]}" "$build/bench/quendral_job_bench" "${args[@]}"

if [ "$large" -eq 1 ]; then
  big="${TMPDIR:-/tmp}/quendral-bench-12000x12000"
  mkdir -p "$big"
  if [ ! -f "$big/photo-16.bmp" ]; then
    echo "Writing 12000 x 12000 pictures to $big"
    "$build/bench/quendral_make_pictures" photos "$big" 12000 12000
  fi
  echo
  big_args=(--dir "$big" --runs 3 --depths 24,1)
  [ -n "$library" ] && big_args+=(--library "$library")
  "${priority[@]}" "$build/bench/quendral_job_bench" "${big_args[@]}"
fi
