# Cross-building for 64-bit Windows with Debian's mingw-w64 (the posix thread model, for std::thread).
# The dependencies built by scripts/windows/build-deps are found through CMAKE_PREFIX_PATH, which the
# scripts set; the compiler's own folder holds zlib.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUILLON_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUILLON_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLON_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLON_MINGW}-windres)
set(CMAKE_AR ${QUILLON_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${QUILLON_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")
set(PKG_CONFIG_EXECUTABLE ${QUILLON_MINGW}-pkg-config CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLON_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# Static archives before import libraries: the program carries its libraries inside.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a .lib)
