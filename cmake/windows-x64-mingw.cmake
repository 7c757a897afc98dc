# Windows x86-64 console programs from Debian's MinGW-w64 (the POSIX-threads flavour, for
# std::thread), run on this machine through Wine:
#
#   cmake -S . -B build/windows --toolchain cmake/windows-x64-mingw.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KV9_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KV9_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KV9_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KV9_MINGW}-windres)

# Libraries and headers come from the MinGW-w64 tree alone, never from this machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${KV9_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} /usr/${KV9_MINGW}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The test programs run under Wine (Debian's wine64 package puts it in /usr/lib/wine).
find_program(KV9_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(KV9_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KV9_WINE})
endif()
