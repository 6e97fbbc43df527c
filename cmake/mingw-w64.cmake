# Cross-compiles the Windows build (64-bit) on Debian with mingw-w64, posix
# thread model (package g++-mingw-w64-x86-64-posix). Tests run under Wine.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVRIK_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVRIK_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVRIK_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVRIK_MINGW}-windres)
set(CMAKE_AR ${TAVRIK_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${TAVRIK_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries and headers of the target only: the host's /usr/include (glibc)
# must never reach the cross compiler.
set(CMAKE_FIND_ROOT_PATH /usr/${TAVRIK_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# add_test() commands of the built .exe files run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
