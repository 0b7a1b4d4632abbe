# Cross-compiling for 64-bit Windows with Debian's mingw-w64 toolchain (the POSIX thread model, for std::thread).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VARNHOLT_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs and tests run without DLLs beside them: the compiler's runtime is linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Cross-built test programs run under Wine.
find_program(VARNHOLT_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(VARNHOLT_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VARNHOLT_WINE})
endif()
