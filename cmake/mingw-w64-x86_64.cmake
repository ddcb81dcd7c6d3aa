# Cross build for 64-bit Windows with Debian's MinGW-w64 g++.
#
# The -posix variant of the compiler is the one to use: the -win32 variant's standard library has
# no std::mutex or std::thread, and its steady_clock is the wall clock.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VANTRELS_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VANTRELS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTRELS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTRELS_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW tree only; programs (python3, the tools that generate
# files) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VANTRELS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
