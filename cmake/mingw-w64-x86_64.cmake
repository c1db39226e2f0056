# Cross-compiles both programs for 64-bit Windows with Debian's mingw-w64:
#
#   cmake -S . -B build-windows --toolchain cmake/mingw-w64-x86_64.cmake
#   cmake --build build-windows -j2
#
# The posix threads variant of the compiler (g++-mingw-w64-x86-64-posix):
# its C++ runtime has std::thread and std::mutex, which GoogleTest and Qt-free
# code may use, and linked with -static it adds no DLL of its own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs under wine, for tests that cross-build and run them.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# Everything static: the programs import only Windows' own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
