# Cross-builds the Windows programs with MinGW-w64 on Debian.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake [-DLORBANIX_WINDOWS_ARCH=i686]
# 64-bit by default; the test programs of either run through Wine (the 32-bit
# ones in its 32-bit half).
set(CMAKE_SYSTEM_NAME Windows)
if(NOT LORBANIX_WINDOWS_ARCH)
    set(LORBANIX_WINDOWS_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${LORBANIX_WINDOWS_ARCH})
set(_mingw ${LORBANIX_WINDOWS_ARCH}-w64-mingw32)

# The posix-thread compilers: the win32-thread ones have no std::mutex.
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)
set(CMAKE_OBJDUMP ${_mingw}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(_wine wine)
if(_wine)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${_wine})
endif()
