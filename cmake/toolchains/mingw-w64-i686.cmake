# Windows x86 (32-bit) with MinGW-w64: builds quendral.dll, quendral.exe and
# the tests, and runs them under Wine (which then needs its 32-bit part,
# Debian's wine32:i386). A 32-bit DLL is where the standard calling
# convention decorates names, unlike x86-64; and 32-bit x86 is where
# doubles may be computed in wider registers (see QuendralWarnings.cmake).
#
#   cmake -S . -B build-windows-x86 \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)

set(_triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
