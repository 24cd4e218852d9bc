# 32-bit x86 Linux. It shares its arithmetic with 32-bit Windows, so it
# shows the same faults of floating point. A 64-bit x86 Linux runs its
# programs itself, on the processor, given the 32-bit C and C++ libraries
# (Debian: dpkg --add-architecture i386, then libc6:i386 libstdc++6:i386);
# elsewhere, configure with
#   -DCMAKE_CROSSCOMPILING_EMULATOR="qemu-i386;-L;/usr/i686-linux-gnu".
#
#   cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_triple i686-linux-gnu)
set(_qemu "")
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
