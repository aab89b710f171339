// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The verdict decoders on arbitrary bytes, one target for all families: the first byte picks
// the family (1 JPEG, 2 raw, 3 HEIF, 4 video, 5 audio), the rest is the file. Any input must
// come back as a verdict with a well-formed preview, never a crash, a hang or an
// out-of-bounds read. With SNAPSALVAGER_FUZZ_SANDBOX=1 the inputs run inside the helper's
// sandbox (limits and system call filter), entered once libFuzzer has read its inputs: give
// them as a list of files rather than a folder, which it could no longer write to, and run
// with ASAN_OPTIONS=detect_leaks=0 (the leak check at exit needs calls the filter refuses).
// In this sanitizer build a call outside the filter is refused rather than fatal, so the
// decoders are seen to cope with the sandbox's refusals and limits.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "decode/Decoders.h"
#include "decode/Sandbox.h"

using namespace snapsalvager::decode;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  PrepareDecoders();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;  // libFuzzer's first call, before it reads the corpus
  static const bool sandboxed = [] {
    const char* sandbox = std::getenv("SNAPSALVAGER_FUZZ_SANDBOX");
    if (sandbox == nullptr || *sandbox != '1') return false;
    TSandboxLimits limits;
    limits.OpenFiles = 64;  // libFuzzer's own
    std::string error;
    if (!EnterSandbox(limits, &error)) {
      std::fprintf(stderr, "sandbox: %s\n", error.c_str());
      std::abort();
    }
    return true;
  }();
  (void)sandboxed;
  const auto family = static_cast<TFileFamily>(1 + data[0] % 5);
  const TDecodeOutcome o = CheckFile(TFileBytes(data + 1, size - 1), family, true);
  const TVerdict& v = o.Verdict;
  const bool percentOk = v.Kind == TVerdictKind::Whole    ? v.Percent == 100
                         : v.Kind == TVerdictKind::Damaged ? v.Percent >= -1 && v.Percent < 100
                                                           : v.Percent <= 0;
  const bool previewOk = o.Preview.Empty() ? o.Preview.Rgb.empty()
                                           : o.Preview.Width <= kPreviewMaxWidth &&
                                                 o.Preview.Height <= kPreviewMaxHeight &&
                                                 o.Preview.Rgb.size() == size_t(o.Preview.Width) * o.Preview.Height * 3;
  if (!percentOk || !previewOk) std::abort();
  return 0;
}
