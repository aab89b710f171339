// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The decode helper's confinement, entered once at start before any card data is read: no
// new privileges, resource limits (memory, CPU time, open files, no file writes, no core
// dumps) and a seccomp-bpf filter that leaves the calls decoding needs (reading the files it
// is handed, memory, answering on standard output) and refuses the rest: no file opened, no
// socket, no program started, no signal to another process. Linux only.
#pragma once

#include <cstdint>
#include <string>

namespace snapsalvager::decode {

struct TSandboxLimits {
  // Address space of the helper (decoders, the file's bytes for photos, libraries).
  int64_t MemoryBytes = 1536LL * 1024 * 1024;
  // Descriptors at most: the standard three, the file in hand, a few spare.
  int OpenFiles = 16;
};

// Confines the calling process for the rest of its life. False, with the reason, when the
// kernel refuses any part; the caller must then not go on.
bool EnterSandbox(const TSandboxLimits& limits, std::string* error);

// CPU seconds the next file may take: the soft limit is raised to what was used so far plus
// seconds. Past it the kernel stops the process (SIGXCPU), which its client reports.
bool LimitCpuForNextFile(int seconds);

}  // namespace snapsalvager::decode
