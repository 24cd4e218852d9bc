#!/usr/bin/env bash
# Builds Quendral for other systems and processors and runs the test suites
# there: Windows x86-64 and x86 (MinGW-w64, run under Wine), 32-bit x86
# Linux (run on this processor), 32- and 64-bit ARM, 64-bit RISC-V and the
# big-endian s390x (run under QEMU). Every target's quendral command must
# write, for the golden inputs, the very bytes that the native build
# writes; each also builds the command alone, without the tests. Installs
# what it needs.
#
#   scripts/check-cross.sh [--quick] [--plan] [--targets LIST] [--jobs N]
#                          [--runner-package TARGET=PACKAGE]
#
#   --quick         Windows: the DLL, its host tests and the golden outputs;
#                   Linux targets: the golden outputs. No unit test suites,
#                   and no build of the command alone.
#   --plan          Install the packages and say which targets would run,
#                   then stop (exit status as the summary would give).
#   --targets LIST  Comma-separated subset of windows,windows-x86,i686,
#                   armhf,aarch64,riscv64,s390x (default all).
#   --jobs N        Parallel build and test jobs (default: processors, at most 2).
#   --runner-package TARGET=PACKAGE
#                   Also require PACKAGE to run TARGET's programs (to try
#                   what happens when a runner cannot be installed).
#
# A target whose compiler cannot be installed from the package archive is
# not built; one whose runner (Wine, QEMU, the 32-bit libraries) cannot be
# installed is built, and checked as far as that needs no runner. Either
# is reported at the end as "NOT RUN: TARGET: PACKAGE cannot be installed
# from the package archive" and does not fail the run, unless
# QUENDRAL_CROSS_STRICT=1 is set: then every NOT RUN is a failure.
#
# Build directories: build-cross-native (the reference), build-cross-TARGET
# for each target, and build-cross-TARGET-cli for its command alone. Exits
# non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

usage() {
  sed -n '2,36p' "$0" | sed 's/^# \{0,1\}//'
  exit "${1:-2}"
}

quick=0
plan=0
strict="${QUENDRAL_CROSS_STRICT:-0}"
extra_runner=()
targets="windows,windows-x86,i686,armhf,aarch64,riscv64,s390x"
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --plan) plan=1 ;;
    --runner-package) [ $# -ge 2 ] || usage; extra_runner+=("$2"); shift ;;
    --targets) [ $# -ge 2 ] || usage; targets="$2"; shift ;;
    --jobs) [ $# -ge 2 ] || usage; jobs="$2"; shift ;;
    -h|--help) usage 0 ;;
    *) echo "check-cross: unknown argument '$1'" >&2; usage ;;
  esac
  shift
done

declare -A toolchain=(
  [windows]=cmake/toolchains/mingw-w64-x86_64.cmake
  [windows-x86]=cmake/toolchains/mingw-w64-i686.cmake
  [i686]=cmake/toolchains/linux-i686.cmake
  [armhf]=cmake/toolchains/linux-armhf.cmake
  [aarch64]=cmake/toolchains/linux-aarch64.cmake
  [riscv64]=cmake/toolchains/linux-riscv64.cmake
  [s390x]=cmake/toolchains/linux-s390x.cmake
)
# The ARM build also traps undefined behaviour, misaligned accesses and
# 32-bit overflows among it, which QEMU would otherwise let pass. (Flags
# given here replace the toolchain's own, so its -Wno-psabi is repeated.)
declare -A extra_flags=(
  [windows]=""
  [windows-x86]=""
  [i686]=""
  [armhf]="-Wno-psabi -fsanitize=undefined -fno-sanitize-recover=all"
  [aarch64]=""
  [riscv64]=""
  [s390x]=""
)
# What each target needs to be built, and what its programs need to run.
# 32-bit Windows programs need Wine's 32-bit part, and 32-bit Linux ones
# the 32-bit C and C++ libraries; both come from the i386 architecture,
# which scripts/install-deps.sh adds to the package manager first.
declare -A build_packages=(
  [windows]="g++-mingw-w64-x86-64"
  [windows-x86]="g++-mingw-w64-i686"
  [i686]="g++-i686-linux-gnu"
  [armhf]="crossbuild-essential-armhf"
  [aarch64]="g++-aarch64-linux-gnu"
  [riscv64]="g++-riscv64-linux-gnu"
  [s390x]="crossbuild-essential-s390x"
)
declare -A runner_packages=(
  [windows]="wine wine64"
  [windows-x86]="wine wine32:i386"
  [i686]="libc6:i386 libstdc++6:i386"
  [armhf]="qemu-user"
  [aarch64]="qemu-user"
  [riscv64]="qemu-user"
  [s390x]="qemu-user"
)
for extra in "${extra_runner[@]}"; do
  runner_packages[${extra%%=*}]+=" ${extra#*=}"
done
IFS=',' read -r -a selected <<<"$targets"
target_packages=""
for t in "${selected[@]}"; do
  [ -n "${toolchain[$t]:-}" ] || { echo "check-cross: unknown target '$t'" >&2; usage; }
  target_packages+=" ${build_packages[$t]} ${runner_packages[$t]}"
done
install_start=$SECONDS
if ! bash scripts/install-deps.sh cmake make g++ libgtest-dev googletest; then
  echo "check-cross: the native build needs the packages named above" >&2
  exit 1
fi
# One package that cannot be installed today must not stop the others;
# what is missing is looked at target by target below.
# shellcheck disable=SC2086
bash scripts/install-deps.sh $target_packages || true

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
first_missing() {  # first_missing PACKAGE...: prints the first one not installed
  local p
  for p in "$@"; do
    installed "$p" || { echo "$p"; return; }
  done
}
# Whether this machine runs 32-bit x86 programs itself: the kernel may
# have been built without that. (QEMU's i386 emulation is no way out here:
# it spins forever in any program that starts a thread.)
runs_i386_programs() {
  local probe status
  probe=$(mktemp -d)
  printf 'int main(void) { return 0; }\n' >"$probe/probe.c"
  i686-linux-gnu-gcc "$probe/probe.c" -o "$probe/probe" 2>/dev/null && "$probe/probe" 2>/dev/null
  status=$?
  rm -rf "$probe"
  return $status
}
not_run=()
declare -A runnable=()
buildable=()
for t in "${selected[@]}"; do
  # shellcheck disable=SC2086
  missing=$(first_missing ${build_packages[$t]})
  if [ -n "$missing" ]; then
    not_run+=("NOT RUN: $t: $missing cannot be installed from the package archive (not built)")
    continue
  fi
  buildable+=("$t")
  # shellcheck disable=SC2086
  missing=$(first_missing ${runner_packages[$t]})
  if [ "$t" = i686 ] && [ -z "$missing" ] && ! runs_i386_programs; then
    not_run+=("NOT RUN: $t: this machine's kernel cannot run 32-bit x86 programs (built, not run)")
    runnable[$t]=0
    continue
  fi
  if [ -n "$missing" ]; then
    not_run+=("NOT RUN: $t: $missing cannot be installed from the package archive (built, not run)")
    runnable[$t]=0
  else
    runnable[$t]=1
  fi
done

# The last lines of the run: what ran, what did not and why; and the exit
# status that follows from them.
summary() {
  local ran=() t line
  for t in "${buildable[@]}"; do
    [ "${runnable[$t]}" -eq 1 ] && ran+=("$t")
  done
  echo "== cross summary =="
  echo "Ran: ${ran[*]:-none}"
  for line in "${not_run[@]}"; do
    echo "$line"
  done
  if [ ${#not_run[@]} -gt 0 ]; then
    if [ "$strict" = 1 ]; then
      echo "check-cross: QUENDRAL_CROSS_STRICT=1 and ${#not_run[@]} target(s) not run" >&2
      return 1
    fi
    echo "(not a failure; QUENDRAL_CROSS_STRICT=1 makes it one)"
  fi
  return 0
}
if [ "$plan" -eq 1 ]; then
  summary
  exit
fi

timings=("$(printf '%4ds  %s' $((SECONDS - install_start)) "packages")")
step_start=0
begin() {
  echo "== $1 =="
  step_start=$SECONDS
}
end() { timings+=("$(printf '%4ds  %s' $((SECONDS - step_start)) "$1")"); }

# Wine's servers for the Windows builds' prefixes end with this script.
cleanup() {
  local prefix
  command -v wineserver >/dev/null || return 0
  for prefix in build-cross-windows/wine-prefix build-cross-windows-x86/wine-prefix; do
    if [ -d "$prefix" ]; then
      WINEPREFIX="$root/$prefix" wineserver -k 2>/dev/null || true
    fi
  done
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
check_windows_x86_names() {
  local dir=build-cross-windows-x86 exports imports
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
}

# A user may cross-build the command alone: no tests, no GoogleTest.
check_command_alone() {  # check_command_alone TARGET
  local dir="build-cross-$1-cli"
  begin "$1: the command alone"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="${toolchain[$1]}" -DCMAKE_BUILD_TYPE=Release \
    -DQUENDRAL_WERROR=ON -DQUENDRAL_BUILD_TESTS=OFF >/dev/null
  nice cmake --build "$dir" -j"$jobs" --target quendral_cli >/dev/null
  end "$1: the command alone"
}

for t in "${buildable[@]}"; do
  dir="build-cross-$t"
  begin "$t: configure and build"
  # Without a runner the tests are listed when they run, not at build time
  # (listing runs the test programs).
  discovery=POST_BUILD
  [ "${runnable[$t]}" -eq 1 ] || discovery=PRE_TEST
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="${toolchain[$t]}" -DCMAKE_BUILD_TYPE=Release \
    -DQUENDRAL_WERROR=ON -DCMAKE_CXX_FLAGS="${extra_flags[$t]}" \
    -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE="$discovery" >/dev/null
  if [ "$quick" -eq 1 ]; then
    build_targets=(quendral_cli quendral_golden_inputs)
    case "$t" in
      windows*) build_targets+=(quendral quendral_windows_host quendral_windows_host_utf8) ;;
    esac
    nice cmake --build "$dir" -j"$jobs" --target "${build_targets[@]}" >/dev/null
  else
    nice cmake --build "$dir" -j"$jobs" >/dev/null
  fi
  end "$t: build"

  if [ "${runnable[$t]}" -eq 1 ]; then
    begin "$t: tests"
    rm -f "$dir/tests/golden/work/actual.sha256"
    if [ "$quick" -eq 1 ]; then
      only='^golden[.]outputs$'
      case "$t" in
        windows*) only+='|^(utf8[.])?(HostTest|Depths/HostDepthTest|HostCodePage)[.]' ;;
      esac
      nice ctest --test-dir "$dir" --output-on-failure -j"$jobs" -R "$only"
    else
      nice ctest --test-dir "$dir" --output-on-failure -j"$jobs"
    fi
    compare_with_native "$t"
    end "$t: tests"
  fi
  # Needs no runner: the export table and a host's import are read, not run.
  if [ "$t" = windows-x86 ]; then
    check_windows_x86_names
  fi

  [ "$quick" -eq 1 ] || check_command_alone "$t"
done

echo "== timings =="
printf '%s\n' "${timings[@]}"
summary
