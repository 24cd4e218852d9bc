#!/usr/bin/env bash
# Builds Quendral for other systems and processors and runs the test suites
# there: Windows x86-64 (MinGW-w64, run under Wine), 32-bit ARM and the
# big-endian s390x (both run under QEMU); for 32-bit Windows only the DLL's
# export and import names are checked (there is no 32-bit Wine here). Every
# target's quendral command must write, for the golden inputs, the very
# bytes that the native build writes. Installs what it needs.
#
#   scripts/check-cross.sh [--quick] [--targets LIST] [--jobs N]
#
#   --quick         Windows: the DLL, its host tests and the golden outputs;
#                   ARM and s390x: the golden outputs. No unit test suites.
#   --targets LIST  Comma-separated subset of windows,armhf,s390x,windows-x86
#                   (default all).
#   --jobs N        Parallel build and test jobs (default: processors, at most 2).
#
# Build directories: build-cross-native (the reference), build-cross-windows,
# build-cross-armhf, build-cross-s390x, build-cross-windows-x86. Exits
# non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

usage() {
  sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'
  exit "${1:-2}"
}

quick=0
targets="windows,armhf,s390x,windows-x86"
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --targets) [ $# -ge 2 ] || usage; targets="$2"; shift ;;
    --jobs) [ $# -ge 2 ] || usage; jobs="$2"; shift ;;
    -h|--help) usage 0 ;;
    *) echo "check-cross: unknown argument '$1'" >&2; usage ;;
  esac
  shift
done

declare -A toolchain=(
  [windows]=cmake/toolchains/mingw-w64-x86_64.cmake
  [armhf]=cmake/toolchains/linux-armhf.cmake
  [s390x]=cmake/toolchains/linux-s390x.cmake
  [windows-x86]=cmake/toolchains/mingw-w64-i686.cmake
)
# The ARM build also traps undefined behaviour, misaligned accesses and
# 32-bit overflows among it, which QEMU would otherwise let pass. (Flags
# given here replace the toolchain's own, so its -Wno-psabi is repeated.)
declare -A extra_flags=(
  [windows]=""
  [armhf]="-Wno-psabi -fsanitize=undefined -fno-sanitize-recover=all"
  [s390x]=""
  [windows-x86]=""
)
declare -A packages=(
  [windows]="g++-mingw-w64-x86-64 wine wine64"
  [armhf]="crossbuild-essential-armhf qemu-user"
  [s390x]="crossbuild-essential-s390x qemu-user"
  [windows-x86]="g++-mingw-w64-i686"
)
IFS=',' read -r -a selected <<<"$targets"
needed="cmake make g++ libgtest-dev googletest"
for t in "${selected[@]}"; do
  [ -n "${toolchain[$t]:-}" ] || { echo "check-cross: unknown target '$t'" >&2; usage; }
  needed+=" ${packages[$t]}"
done
# shellcheck disable=SC2086
bash scripts/install-deps.sh $needed

timings=()
step_start=0
begin() {
  echo "== $1 =="
  step_start=$SECONDS
}
end() { timings+=("$(printf '%4ds  %s' $((SECONDS - step_start)) "$1")"); }

# Wine's server for the Windows build's prefix ends with this script.
cleanup() {
  if [ -d build-cross-windows/wine-prefix ] && command -v wineserver >/dev/null; then
    WINEPREFIX="$root/build-cross-windows/wine-prefix" wineserver -k 2>/dev/null || true
  fi
}
trap cleanup EXIT

# The golden test of every build leaves its list of outputs behind; the
# native one is made here, outside any test, as the reference.
native_golden() {
  cmake -DMAKE_INPUTS="$root/build-cross-native/tests/golden/quendral_golden_inputs" \
    -DCLI="$root/build-cross-native/quendral" -DWORK_DIR="$root/build-cross-native/tests/golden/work" \
    -DEXPECTED="$root/tests/golden/expected.sha256" -DMODE=list -P tests/golden/golden_outputs.cmake
}

compare_with_native() {  # compare_with_native TARGET
  local list="build-cross-$1/tests/golden/work/actual.sha256"
  if ! diff -u build-cross-native/tests/golden/work/actual.sha256 "$list"; then
    echo "check-cross: $1 writes other bytes than the native build (lines above)" >&2
    exit 1
  fi
  echo "golden outputs of $1: $(grep -vc '^input ' "$list") runs, identical to the native build"
}

begin "native reference (quendral command and golden inputs)"
cmake -S . -B build-cross-native -DCMAKE_BUILD_TYPE=Release -DQUENDRAL_WERROR=ON >/dev/null
nice cmake --build build-cross-native -j"$jobs" --target quendral_cli quendral_golden_inputs >/dev/null
native_golden
end "native reference"

# 32-bit Windows: the standard calling convention decorates names there, so
# the DLL must still export the plain name Quendral and nothing else, and a
# C host compiled with the header and linked with the import library must
# import it by that name.
check_windows_x86() {
  local dir=build-cross-windows-x86 exports imports
  begin "windows-x86: DLL names"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="${toolchain[windows-x86]}" \
    -DCMAKE_BUILD_TYPE=Release -DQUENDRAL_WERROR=ON -DQUENDRAL_BUILD_TESTS=OFF \
    -DQUENDRAL_BUILD_TOOLS=OFF -DQUENDRAL_BUILD_FUZZ_REPLAY=OFF >/dev/null
  nice cmake --build "$dir" -j"$jobs" --target quendral >/dev/null
  exports=$(i686-w64-mingw32-objdump -p "$dir/quendral.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && !/Table/ {print $NF}')
  printf '#include <quendral/quendral.h>\nint main(void) { return Quendral(L"in.bmp", L"out.bmp") == 999 ? 0 : 1; }\n' \
    > "$dir/host.c"
  i686-w64-mingw32-gcc -Iinclude "$dir/host.c" -L"$dir" -lquendral -o "$dir/host.exe"
  imports=$(i686-w64-mingw32-objdump -p "$dir/host.exe" |
    sed -n '/DLL Name: quendral.dll/,/^$/p' | awk 'NR > 2 && NF >= 3 {print $NF}')
  if [ "$exports" != "Quendral" ] || [ "$imports" != "Quendral" ]; then
    echo "check-cross: the 32-bit DLL exports [$exports] and a host imports [$imports]; both must be exactly Quendral" >&2
    exit 1
  fi
  echo "windows-x86: quendral.dll exports Quendral only; a host imports it by that name"
  end "windows-x86: DLL names"
}

for t in "${selected[@]}"; do
  if [ "$t" = windows-x86 ]; then
    check_windows_x86
    continue
  fi
  dir="build-cross-$t"
  begin "$t: configure and build"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="${toolchain[$t]}" -DCMAKE_BUILD_TYPE=Release \
    -DQUENDRAL_WERROR=ON -DCMAKE_CXX_FLAGS="${extra_flags[$t]}" >/dev/null
  if [ "$quick" -eq 1 ]; then
    build_targets=(quendral_cli quendral_golden_inputs)
    [ "$t" = windows ] && build_targets+=(quendral quendral_windows_host quendral_windows_host_utf8)
    nice cmake --build "$dir" -j"$jobs" --target "${build_targets[@]}" >/dev/null
  else
    nice cmake --build "$dir" -j"$jobs" >/dev/null
  fi
  end "$t: build"

  begin "$t: tests"
  rm -f "$dir/tests/golden/work/actual.sha256"
  if [ "$quick" -eq 1 ]; then
    only='^golden[.]outputs$'
    [ "$t" = windows ] && only+='|^(utf8[.])?(HostTest|Depths/HostDepthTest|HostCodePage)[.]'
    nice ctest --test-dir "$dir" --output-on-failure -j"$jobs" -R "$only"
  else
    nice ctest --test-dir "$dir" --output-on-failure -j"$jobs"
  fi
  compare_with_native "$t"
  end "$t: tests"
done

echo "== timings =="
printf '%s\n' "${timings[@]}"
echo "Cross checks passed for: ${selected[*]}"
