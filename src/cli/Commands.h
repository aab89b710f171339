// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The commands of snapsalvager-cli. Each takes the arguments after its own name and
// returns the process exit status.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string_view>

#include "session/Texts.h"

namespace snapsalvager::cli {

// Writes a text of the table with its values; the command line's lines all come from it.
inline void Say(std::FILE* out, TText id, std::initializer_list<std::string_view> values = {}) {
  std::fputs(Text(id, values).c_str(), out);
}

int RunExifCommand(int argc, char** argv);
int RunRecoverCommand(int argc, char** argv);
int RunRestoreCommand(int argc, char** argv);
int RunDrivesCommand(int argc, char** argv);

}  // namespace snapsalvager::cli
