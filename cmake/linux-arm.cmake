# Shared by the ARM toolchain files (linux-arm64.cmake, linux-armhf.cmake):
# Debian's cross compiler for VESTRIMOND_TRIPLET (crossbuild-essential-ARCH)
# and the target's libraries installed beside the machine's own (multiarch:
# libedit2:ARCH in /usr/lib/TRIPLET, found there and not in the machine's
# /usr/lib/x86_64-linux-gnu). Programs built for the target run under
# qemu-user, which CMake and CTest use to start the test programs.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${VESTRIMOND_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VESTRIMOND_TRIPLET}-g++)
set(CMAKE_STRIP ${VESTRIMOND_TRIPLET}-strip CACHE FILEPATH "strip of the target")
set(CMAKE_LIBRARY_ARCHITECTURE ${VESTRIMOND_TRIPLET})

set(CMAKE_CROSSCOMPILING_EMULATOR ${VESTRIMOND_QEMU})
