# Cross-compiles for 32-bit ARM Linux with hardware floating point (armhf:
# every Raspberry Pi from the 2 on with a 32-bit system) with Debian's cross
# compiler (crossbuild-essential-armhf):
# cmake -DCMAKE_TOOLCHAIN_FILE=cmake/linux-armhf.cmake
set(CMAKE_SYSTEM_PROCESSOR arm)
set(VESTRIMOND_TRIPLET arm-linux-gnueabihf)
set(VESTRIMOND_DEBIAN_ARCH armhf)
set(VESTRIMOND_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-arm.cmake)
