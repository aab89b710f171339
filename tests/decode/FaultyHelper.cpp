// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// A stand-in for snapsalvager-decode that misbehaves on request, so the client's handling of
// a decoder that crashes, hangs or talks nonsense can be tested. The file's first bytes say
// what to do: "ABORT", "HANG", "GARBAGE"; any other file is whole.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "decode/DecodeProtocol.h"

using namespace snapsalvager::decode;

namespace {
bool Says(const TCheckRequest& r, const char* word) {
  return r.Head.size() >= std::strlen(word) && std::memcmp(r.Head.data(), word, std::strlen(word)) == 0;
}
}  // namespace

int main() {
  std::vector<uint8_t> payload;
  for (;;) {
    int fd = -1;
    if (ReceiveMessage(STDIN_FILENO, payload, kMaxRequestBytes, -1, &fd) != TReceive::Message) return 0;
    TCheckRequest request;
    if (!DecodeRequest(payload, &request)) return 3;
    ::close(fd);
    if (Says(request, "ABORT")) std::abort();
    while (Says(request, "HANG")) ::pause();
    if (Says(request, "GARBAGE")) {
      SendMessage(STDOUT_FILENO, {'A', 99}, -1);
      continue;
    }
    TDecodeOutcome whole;
    whole.Verdict.Kind = TVerdictKind::Whole;
    whole.Verdict.Percent = 100;
    SendMessage(STDOUT_FILENO, EncodeReply(whole), -1);
  }
}
