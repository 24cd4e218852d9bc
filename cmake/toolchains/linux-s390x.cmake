# 64-bit IBM Z Linux, a big-endian processor: runs the tests under QEMU, so
# that any byte-order assumption shows as a different file.
#
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-s390x.cmake
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(_triple s390x-linux-gnu)
set(_qemu qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
