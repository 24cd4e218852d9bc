# 32-bit ARM Linux (hard-float): runs the tests under QEMU, where 32-bit
# sizes and strict alignment show faults that a 64-bit x86 build hides.
#
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-armhf.cmake
set(CMAKE_SYSTEM_PROCESSOR arm)
set(_triple arm-linux-gnueabihf)
set(_qemu qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)

# GCC notes at every std::vector<64-bit> that its argument passing changed
# in GCC 7.1; nothing here mixes code from compilers that old.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
