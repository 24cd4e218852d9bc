# 64-bit RISC-V Linux (RV64GC): runs the tests under QEMU. Like 64-bit ARM
# it has fused multiply-add instructions, which the shared flags keep the
# compiler from using.
#
#   cmake -S . -B build-riscv64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-riscv64.cmake
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(_triple riscv64-linux-gnu)
set(_qemu qemu-riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
