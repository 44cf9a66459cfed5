# SPDX-License-Identifier: GPL-3.0-or-later
# Cross build for 64-bit Windows with Debian's MinGW-w64 GCC, posix threads (std::thread and
# std::mutex need them). Chain-loaded by the Windows SDK's Qt toolchain file (scripts/build-windows).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZIRAVEL_MINGW_HOST x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZIRAVEL_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZIRAVEL_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${ZIRAVEL_MINGW_HOST}-windres)
set(CMAKE_AR /usr/bin/${ZIRAVEL_MINGW_HOST}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${ZIRAVEL_MINGW_HOST}-ranlib CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${ZIRAVEL_MINGW_HOST} ${CMAKE_FIND_ROOT_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The tests run under wine (Debian's wine64 loader is not on PATH).
if(EXISTS /usr/lib/wine/wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
