# Cross-compiles for 64-bit ARM Linux (arm64: Raspberry Pi 3, 4 and 5 with a
# 64-bit system) with Debian's cross compiler (crossbuild-essential-arm64):
# cmake -DCMAKE_TOOLCHAIN_FILE=cmake/linux-arm64.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VESTRIMOND_TRIPLET aarch64-linux-gnu)
set(VESTRIMOND_DEBIAN_ARCH arm64)
set(VESTRIMOND_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-arm.cmake)
