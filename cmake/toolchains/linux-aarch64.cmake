# 64-bit ARM Linux, the processor of most devices now: runs the tests under
# QEMU. It has fused multiply-add instructions, which the shared flags keep
# the compiler from using, so that its bytes equal every other target's.
#
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-aarch64.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(_triple aarch64-linux-gnu)
set(_qemu qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
