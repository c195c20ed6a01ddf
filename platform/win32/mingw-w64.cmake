# mingw-w64.cmake -- CMake toolchain file: 64-bit Windows programs from Debian's MinGW-w64 (posix threads)
#
# The posix flavour of the compilers carries winpthreads, which std::thread and the loaders' and
# the track's threads need. TALUMEN_WINDOWS_LIBS names the prefix scripts/windows-libs.sh built
# (include/ and lib/); libraries are looked for there and in the compilers' own tree only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TALUMEN_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TALUMEN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TALUMEN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TALUMEN_MINGW}-windres)
set(CMAKE_AR ${TALUMEN_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${TALUMEN_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")
set(CMAKE_STRIP ${TALUMEN_MINGW}-strip CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${TALUMEN_MINGW})
if(DEFINED ENV{TALUMEN_WINDOWS_LIBS})
  set(TALUMEN_WINDOWS_LIBS "$ENV{TALUMEN_WINDOWS_LIBS}" CACHE PATH "the libraries built for Windows")
endif()
if(TALUMEN_WINDOWS_LIBS)
  list(APPEND CMAKE_FIND_ROOT_PATH "${TALUMEN_WINDOWS_LIBS}")
  list(APPEND CMAKE_PREFIX_PATH "${TALUMEN_WINDOWS_LIBS}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
