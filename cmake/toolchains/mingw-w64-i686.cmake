# Windows x86 (32-bit) with MinGW-w64: builds quendral.dll and quendral.exe.
# The checks only build the DLL and read its export table (running the
# tests would need a 32-bit Wine): a 32-bit DLL is where the standard
# calling convention decorates names, unlike x86-64.
#
#   cmake -S . -B build-windows-x86 \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)

set(_triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
