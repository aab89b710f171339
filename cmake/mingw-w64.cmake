# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix threads), and runs what
# it built under wine, so ctest drives the Windows test programs on this machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libjpeg-turbo cross-built by scripts/build-windows-deps.sh.
# A path without "..": CMake re-roots a search path wrongly when the two spell one folder
# differently.
get_filename_component(SNAPSALVAGER_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps" ABSOLUTE)
list(APPEND CMAKE_FIND_ROOT_PATH "${SNAPSALVAGER_WINDOWS_DEPS}/prefix")
# Qt for the wizard, cross-built by scripts/build-qt-windows.sh (preset windows-wizard).
list(APPEND CMAKE_FIND_ROOT_PATH "${SNAPSALVAGER_WINDOWS_DEPS}/qt6")

# No interprocedural register allocation: with it gcc lets a caller keep values in registers
# the callee it compiled leaves alone, but on Windows the linker may keep another copy of an
# inline function (a template's, from another library), which does use them. Qt's
# QRandomGenerator crashed that way, calling std::mt19937 kept from the test fixtures.
set(CMAKE_C_FLAGS_INIT "-fno-ipa-ra")
set(CMAKE_CXX_FLAGS_INIT "-fno-ipa-ra")

# One self-contained .exe: no libstdc++, libgcc or winpthread DLL to ship beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(WINE_PROGRAM NAMES wine64 wine)
if(WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
endif()
