# Shared by the ARM toolchain files (linux-arm64.cmake, linux-armhf.cmake):
# Debian's cross compiler for VESTRIMOND_TRIPLET (crossbuild-essential-ARCH)
# and the libraries of the target architecture installed beside the machine's
# own (multiarch: libedit-dev:ARCH puts them in /usr/lib/TRIPLET). Programs
# built for the target run under qemu-user, which CMake and CTest use to start
# the test programs (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${VESTRIMOND_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VESTRIMOND_TRIPLET}-g++)
set(CMAKE_STRIP ${VESTRIMOND_TRIPLET}-strip CACHE FILEPATH "strip of the target")
set(CMAKE_LIBRARY_ARCHITECTURE ${VESTRIMOND_TRIPLET})

# Libraries are searched for in the target's multiarch folder
# (/usr/lib/TRIPLET) only, never in the machine's own; headers are shared.
set(CMAKE_FIND_ROOT_PATH /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${VESTRIMOND_QEMU})
