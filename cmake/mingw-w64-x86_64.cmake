# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads).
# Programs are linked statically, so a .exe runs alone (under Wine too).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PARVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PARVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PARVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PARVANE_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW sysroot and from the folders
# given in CMAKE_PREFIX_PATH (the libraries built for Windows); programs from
# the build machine.
set(PARVANE_WINDOWS_DEPS "" CACHE PATH "Folder of the libraries built for Windows")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PARVANE_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${PARVANE_MINGW_TRIPLE} ${PARVANE_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(ZLIB_USE_STATIC_LIBS ON)

# Programs built here that the build itself runs (the sample maker) and the
# tests run under Wine when it is installed.
find_program(PARVANE_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(PARVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PARVANE_WINE})
endif()
