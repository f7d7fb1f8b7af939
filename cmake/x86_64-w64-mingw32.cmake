# SPDX-License-Identifier: BSD-2-Clause
# Cross build for 64-bit Windows with Debian's g++-mingw-w64-x86-64:
#   cmake -S . -B build-windows --toolchain cmake/x86_64-w64-mingw32.cmake
# gives g723.dll and its import library libg723.dll.a. The MinGW runtime
# (libgcc, libstdc++, winpthread) is linked into the DLL and the programs,
# so they need only Windows' own DLLs. Programs built for the target run
# through Wine (Debian's wine64) where CTest runs them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(G723_TARGET_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${G723_TARGET_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${G723_TARGET_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${G723_TARGET_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${G723_TARGET_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)

find_program(G723_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(G723_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${G723_WINE})
endif()
