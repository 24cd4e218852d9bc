#!/usr/bin/env bash
# The rescale benchmark: builds a Release tree with the benchmarks, writes
# photo-like pictures (6000 x 4000 at 24 and 8 bits, 12000 x 12000 at 24
# bits) and a 54-byte file whose header claims 16384 x 16384 pixels, and
# prints one table of `quendral scale` (the stream) beside the same job in
# memory, the I/O floor and OpenCV or Pillow from Debian where installed
# (python3-opencv, python3-pil), each with its peak memory.
#
#   scripts/bench-scale.sh [--runs N] [--build DIR] [--no-large]
#
#   --runs N     runs per case and job, each a fresh process (default 5)
#   --build DIR  build tree to use or make (default build-bench)
#   --no-large   leave out the 12000 x 12000 case (430 MB of picture)
#
# Run it on a quiet machine: other work shows up in the times.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=5
build=build-bench
large=1
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --no-large) large=0; shift ;;
    -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "bench-scale: unknown argument '$1' (try --help)" >&2; exit 2 ;;
  esac
done

bash scripts/install-deps.sh cmake g++ libbenchmark-dev
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUENDRAL_BUILD_BENCHMARKS=ON \
  -DQUENDRAL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target quendral_make_pictures quendral_scale_run quendral_cli >/dev/null

tmp="${TMPDIR:-/tmp}"
medium="$tmp/quendral-bench-6000x4000"
mkdir -p "$medium"
[ -f "$medium/photo-24.bmp" ] || "$build/bench/quendral_make_pictures" photos "$medium" 6000 4000
cases=("6000x4000 P 50=$medium/photo-24.bmp:P:50"
       "6000x4000 W 1920=$medium/photo-24.bmp:W:1920"
       "6000x4000 P 200=$medium/photo-24.bmp:P:200"
       "6000x4000 8-bit P 50=$medium/photo-8.bmp:P:50")
if [ "$large" -eq 1 ]; then
  big="$tmp/quendral-bench-12000x12000"
  mkdir -p "$big"
  [ -f "$big/photo-24.bmp" ] || "$build/bench/quendral_make_pictures" photos "$big" 12000 12000
  cases+=("12000x12000 P 50=$big/photo-24.bmp:P:50")
fi
# A header that claims 16384 x 16384 pixels of 24 bits and nothing after it.
claim="$tmp/quendral-bench-claim.bmp"
python3 - "$claim" <<'PY'
import struct, sys
header = struct.pack("<2sIHHIIiiHHIIiiII", b"BM", 54, 0, 0, 54, 40, 16384, 16384, 1, 24, 0, 0,
                     3780, 3780, 0, 0)
open(sys.argv[1], "wb").write(header)
PY
cases+=("54-byte claim P 50=$claim:P:50")

out="$tmp/quendral-bench-scale-out"
mkdir -p "$out"
python3 bench/scale_bench.py --quendral "$build/quendral" \
  --run "$build/bench/quendral_scale_run" --out "$out" --runs "$runs" "${cases[@]}"
