# What the Linux cross toolchains share; the including file sets
# CMAKE_SYSTEM_PROCESSOR, _triple (the compiler's and the target libraries'
# prefix) and _qemu (the QEMU user-mode emulator that runs its programs, or
# nothing for programs that this machine runs itself) first.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${_triple}-gcc)
set(CMAKE_CXX_COMPILER ${_triple}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs (the tests among them) run under QEMU with the target's own
# libraries, so ctest works in the build directory as it does natively.
if(_qemu)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${_qemu} -L /usr/${_triple})
endif()
