// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// What the decode client and its helper process say to each other over a Unix socket (the
// helper's standard input and output are both ends of one socketpair).
//
// Every message is a 4-byte little-endian payload length, then the payload. A request
// carries the file as an open read-only descriptor (SCM_RIGHTS, sent with the length) and
// the file's first bytes as they should read (a temporary file's scrambled head, plain):
//
//   request  'Q' family:u8 flags:u8 size:u64 headLength:u16 head[headLength]
//   reply    'A' kind:u8 percent:i8 reasonLength:u8 reason durationMs:i64 width:i32
//            height:i32 previewWidth:u16 previewHeight:u16 rgb[previewWidth*previewHeight*3]
//
// flags bit 0 asks for a preview. All integers little-endian. A message longer than its kind
// allows, or one that does not parse, ends the conversation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/Verdict.h"

namespace snapsalvager::decode {

inline constexpr size_t kMaxHeadBytes = 4096;
inline constexpr size_t kMaxRequestBytes = 16 + kMaxHeadBytes;
inline constexpr size_t kMaxReplyBytes = 64 + 255 + size_t{kPreviewMaxWidth} * kPreviewMaxHeight * 3;

struct TCheckRequest {
  TFileFamily Family = TFileFamily::Unknown;
  bool WantPreview = false;
  uint64_t Size = 0;
  std::vector<uint8_t> Head;
};

std::vector<uint8_t> EncodeRequest(const TCheckRequest& request);
bool DecodeRequest(const std::vector<uint8_t>& payload, TCheckRequest* request);
std::vector<uint8_t> EncodeReply(const TDecodeOutcome& outcome);
bool DecodeReply(const std::vector<uint8_t>& payload, TDecodeOutcome* outcome);

enum class TReceive { Message, Closed, TimedOut, Malformed };

// Sends one message, with fd attached when it is not -1. False when the peer is gone.
bool SendMessage(int socket, const std::vector<uint8_t>& payload, int fd);
// Receives one message of at most maxBytes, waiting at most timeoutMs in all (-1: no limit).
// A descriptor sent with it goes to *fd (closed when fd is null); *fd is -1 when none came.
TReceive ReceiveMessage(int socket, std::vector<uint8_t>& payload, size_t maxBytes, int timeoutMs, int* fd);

}  // namespace snapsalvager::decode
