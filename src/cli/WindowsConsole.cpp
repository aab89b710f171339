// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Windows: the command's output as on Linux, before main runs. Standard output and error
// carry bytes, each line ending in "\n" (text mode would add "\r"), and a console shows them
// as the UTF-8 they are, Chinese included.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include <windows.h>

namespace {

struct TBinaryOutput {
  TBinaryOutput() {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
  }
};

const TBinaryOutput g_binaryOutput;

}  // namespace
