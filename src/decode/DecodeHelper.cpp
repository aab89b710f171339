// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-decode: the helper process that decodes card data. It confines itself first,
// then answers requests from standard input on standard output (DecodeProtocol.h) until its
// input ends. A file that crashes or stalls a decoder takes only this process down; its
// client marks that file "could not check" and starts another helper.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "decode/DecodeProtocol.h"
#include "decode/Decoders.h"
#include "decode/Sandbox.h"

namespace {

using namespace snapsalvager::decode;

// CPU seconds one file may take: a long clip decoded whole on a slow machine, with room.
constexpr int kCpuSecondsPerFile = 300;
// Verdicts run behind the window and the scan: they take what the other work leaves.
constexpr int kNiceness = 10;

}  // namespace

int main() {
  PrepareDecoders();
  ::setpriority(PRIO_PROCESS, 0, kNiceness);
  std::string error;
  if (!EnterSandbox(TSandboxLimits{}, &error)) {
    std::fprintf(stderr, "snapsalvager-decode: %s\n", error.c_str());
    return 2;
  }
  std::vector<uint8_t> payload;
  for (;;) {
    int fd = -1;
    const TReceive got = ReceiveMessage(STDIN_FILENO, payload, kMaxRequestBytes, -1, &fd);
    if (got == TReceive::Closed) return 0;
    TCheckRequest request;
    if (got != TReceive::Message || fd < 0 || !DecodeRequest(payload, &request)) return 3;
    LimitCpuForNextFile(kCpuSecondsPerFile);
    const TFileBytes file(fd, static_cast<int64_t>(request.Size), std::move(request.Head));
    const TDecodeOutcome outcome = CheckFile(file, request.Family, request.WantPreview);
    ::close(fd);
    if (!SendMessage(STDOUT_FILENO, EncodeReply(outcome), -1)) return 0;
  }
}
