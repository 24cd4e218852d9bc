#!/usr/bin/env bash
# Installs the build into a scratch prefix, moves the installation, and
# builds and runs the example hosts against it as a user would: the C host
# through pkg-config, the C++ host through find_package, the Python host
# through ctypes. Each must write what the installed command writes.
#
#   packaging_test.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR C_COMPILER CXX_COMPILER
set -euo pipefail
build="$1" source="$2" scratch="$3" cc="$4" cxx="$5"

rm -rf "$scratch"
mkdir -p "$scratch"
cmake --install "$build" --prefix "$scratch/staged" >/dev/null
# Moved, so that nothing can lean on the prefix it was installed with.
mv "$scratch/staged" "$scratch/prefix"
prefix="$scratch/prefix"

for file in include/quendral/quendral.h share/man/man1/quendral.1 bin/quendral; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file" >&2; exit 1; }
done
pc=$(find "$prefix" -name quendral.pc)
[ -n "$pc" ] || { echo "not installed: quendral.pc" >&2; exit 1; }

sample="$source/samples/sample-24.bmp"
"$prefix/bin/quendral" mark "$sample" "$scratch/expected.bmp"

export PKG_CONFIG_PATH="$(dirname "$pc")"
libdir=$(pkg-config --variable=libdir quendral)
# shellcheck disable=SC2046 # the flags are words
"$cc" -std=c11 -Wall -Wextra -Werror "$source/examples/c/mark.c" \
  $(pkg-config --cflags --libs quendral) -Wl,-rpath,"$libdir" -o "$scratch/mark_c"
"$scratch/mark_c" "$sample" "$scratch/c.bmp"

cmake -S "$source/examples/cpp" -B "$scratch/cpp-build" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$scratch/cpp-build" >/dev/null
"$scratch/cpp-build/mark_cpp" "$sample" "$scratch/cpp.bmp"

python3 "$source/examples/python/mark.py" "$libdir/libquendral.so" "$sample" "$scratch/python.bmp"

for host in c cpp python; do
  cmp "$scratch/expected.bmp" "$scratch/$host.bmp"
done
echo "packaging: the C, C++ and Python hosts build against the moved installation and agree"
