# SPDX-License-Identifier: BSD-2-Clause
# Cross build for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu:
#   cmake -S . -B build-arm64 --toolchain cmake/aarch64-linux-gnu.cmake
# Programs built for the target run through qemu-aarch64 (Debian's
# qemu-user), with the target's C and C++ runtime from the cross toolchain's
# sysroot; CTest and GoogleTest's test discovery use the same emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(G723_TARGET_TRIPLET aarch64-linux-gnu)

set(CMAKE_C_COMPILER ${G723_TARGET_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${G723_TARGET_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${G723_TARGET_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/${G723_TARGET_TRIPLET})
