# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (package
# g++-mingw-w64-x86-64): cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VESTRIMOND_MINGW_PREFIX x86_64-w64-mingw32)
# The POSIX thread model: GoogleTest needs std::mutex, which the win32 model
# of this compiler lacks.
set(CMAKE_C_COMPILER ${VESTRIMOND_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VESTRIMOND_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VESTRIMOND_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VESTRIMOND_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained programs: no MinGW runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
