# Shared part of the mingw-w64 toolchain files: cross-compiles for Windows
# with Debian's mingw-w64 compilers. The including file sets
# BRINDLE_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

# The posix-threads variant of the compiler, linked statically: the program
# then needs no DLL beyond those every Windows has.
set(CMAKE_C_COMPILER ${BRINDLE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRINDLE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BRINDLE_MINGW_TRIPLE}-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_FIND_ROOT_PATH /usr/${BRINDLE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
