#!/usr/bin/env bash
# Proves that two builds write the same bytes: runs `quendral mark` and
# `quendral scale` of each build over a fixed set of generated pictures
# (every depth, odd widths, standard and own colour tables, short tables,
# both 16-bit layouts, files cut short anywhere) and compares the SHA-256
# of every output and every exit status.
#
#   scripts/golden-compare.sh compare REFERENCE_BUILD_DIR CANDIDATE_BUILD_DIR
#   scripts/golden-compare.sh record BUILD_DIR SUMS_FILE
#   scripts/golden-compare.sh check BUILD_DIR SUMS_FILE
#
# A build directory is one that holds the `quendral` command. To compare
# against the last commit without touching the working tree:
#   git archive HEAD | tar -x -C /tmp/ref && cmake -S /tmp/ref -B /tmp/ref/build \
#     -DQUENDRAL_BUILD_TESTS=OFF && cmake --build /tmp/ref/build -j2
#   scripts/golden-compare.sh compare /tmp/ref/build build
# Exits 0 when everything matches, 1 on any difference, 2 on a usage error.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

[ $# -ge 2 ] || usage
work="$(mktemp -d "${TMPDIR:-/tmp}/quendral-golden.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# The pictures come from a small generator that does not use the library, so
# that both builds see the very same inputs.
make_inputs() {
  "${CXX:-c++}" -O2 -std=c++17 "$here/bench/picture_maker.cpp" "$here/bench/make_pictures.cpp" \
    -o "$work/make_pictures"
  mkdir -p "$work/in"
  "$work/make_pictures" golden "$work/in"
}

# One line per run: picture, command, exit status, SHA-256 of the output.
run_build() {
  local cli="$1/quendral" sums="$2" out="$work/out.bmp"
  [ -x "$cli" ] || { echo "golden-compare: no quendral command in $1" >&2; exit 2; }
  : >"$sums"
  local input name status digest args
  for input in "$work"/in/*.bmp; do
    name="$(basename "$input" .bmp)"
    local runs=("mark" "scale P 50" "scale W 7" "scale F 61" "scale p 200" "scale h 3")
    case "$name" in
      *1283x721*) runs=("mark" "scale P 50" "scale W 997") ;;
    esac
    for args in "${runs[@]}"; do
      rm -f "$out"
      set -- $args
      status=0
      if [ "$1" = mark ]; then
        "$cli" mark "$input" "$out" 2>/dev/null || status=$?
      else
        "$cli" scale "$input" "$out" "$2" "$3" 2>/dev/null || status=$?
      fi
      digest=none
      [ -f "$out" ] && digest="$(sha256sum "$out" | cut -d' ' -f1)"
      echo "$name ${args// /-} exit=$status $digest" >>"$sums"
    done
  done
}

mode="$1"
case "$mode" in
  compare)
    [ $# -eq 3 ] || usage
    make_inputs
    run_build "$2" "$work/reference.sums"
    run_build "$3" "$work/candidate.sums"
    sums="$work/candidate.sums"
    reference="$work/reference.sums"
    ;;
  record)
    [ $# -eq 3 ] || usage
    make_inputs
    run_build "$2" "$3"
    echo "golden-compare: recorded $(wc -l <"$3") outputs in $3"
    exit 0
    ;;
  check)
    [ $# -eq 3 ] || usage
    make_inputs
    run_build "$2" "$work/candidate.sums"
    sums="$work/candidate.sums"
    reference="$3"
    ;;
  *) usage ;;
esac

if diff -u "$reference" "$sums" >"$work/diff"; then
  echo "golden-compare: all $(wc -l <"$sums") outputs identical"
else
  echo "golden-compare: outputs differ:" >&2
  grep '^[-+][^-+]' "$work/diff" >&2 || true
  exit 1
fi
