# Cross-builds the core, the CLI and the core tests as static Windows
# executables with Debian's mingw-w64 (posix threads), for Wine or Windows:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=platform/win32/toolchain-mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Windows 7 and later: the volume and file calls used here are all older.
add_compile_definitions(_WIN32_WINNT=0x0601 UNICODE _UNICODE)
# Static programs: zlib from its archive, not its import library.
set(ZLIB_USE_STATIC_LIBS ON)
