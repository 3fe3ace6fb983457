# Cross-compiles the Windows programs on Linux with Debian's mingw-w64 (g++-mingw-w64-x86-64).
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The .exe files are linked statically (C and C++ runtimes, winpthread), so they run on a bare
# Windows without MinGW DLLs. Tests run under wine when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(H8_MINGW_PREFIX x86_64-w64-mingw32)
# The posix-threads variant: GoogleTest needs std::mutex, which the win32 variant of GCC 12 lacks.
find_program(CMAKE_C_COMPILER NAMES ${H8_MINGW_PREFIX}-gcc-posix ${H8_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${H8_MINGW_PREFIX}-g++-posix ${H8_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${H8_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${H8_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest starts the test programs through wine.
find_program(H8_WINE NAMES wine64 wine)
if(H8_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${H8_WINE})
endif()
