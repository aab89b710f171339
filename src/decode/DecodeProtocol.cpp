// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "decode/DecodeProtocol.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

namespace snapsalvager::decode {
namespace {

void Put(std::vector<uint8_t>& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A bounded reader over a payload: every read checks what is left.
class TReader {
 public:
  explicit TReader(const std::vector<uint8_t>& p) : p_(p) {}
  bool Get(uint64_t* value, int bytes) {
    if (p_.size() - at_ < static_cast<size_t>(bytes)) return false;
    *value = 0;
    for (int i = 0; i < bytes; ++i) *value |= uint64_t{p_[at_++]} << (8 * i);
    return true;
  }
  bool Bytes(size_t n, std::vector<uint8_t>* out) {
    if (p_.size() - at_ < n) return false;
    out->assign(p_.begin() + static_cast<ptrdiff_t>(at_), p_.begin() + static_cast<ptrdiff_t>(at_ + n));
    at_ += n;
    return true;
  }
  bool AtEnd() const { return at_ == p_.size(); }

 private:
  const std::vector<uint8_t>& p_;
  size_t at_ = 0;
};

using TClock = std::chrono::steady_clock;

// Waits until socket can be read, within the deadline; false when it passed.
bool WaitReadable(int socket, bool limited, TClock::time_point deadline) {
  if (!limited) return true;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    if (left <= 0) return false;
    pollfd p{socket, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return true;  // let the read report it
  }
}

// Reads exactly n bytes; the first read also takes a descriptor sent along.
TReceive ReadExactly(int socket, uint8_t* buffer, size_t n, bool limited, TClock::time_point deadline, int* fd) {
  size_t done = 0;
  while (done < n) {
    if (!WaitReadable(socket, limited, deadline)) return TReceive::TimedOut;
    ssize_t got;
    if (fd != nullptr) {
      iovec io{buffer + done, n - done};
      alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
      msghdr message{};
      message.msg_iov = &io;
      message.msg_iovlen = 1;
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
      if (got > 0) {
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
          if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
          const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
          for (size_t i = 0; i < count; ++i) {
            int received;
            std::memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
            if (*fd < 0) {
              *fd = received;
            } else {
              ::close(received);  // one descriptor a message
            }
          }
        }
        if (message.msg_flags & MSG_CTRUNC) return TReceive::Malformed;
      }
    } else {
      got = ::read(socket, buffer + done, n - done);
    }
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return done == 0 && got == 0 ? TReceive::Closed : TReceive::Malformed;
    done += static_cast<size_t>(got);
  }
  return TReceive::Message;
}

}  // namespace

std::vector<uint8_t> EncodeRequest(const TCheckRequest& r) {
  std::vector<uint8_t> out{'Q', static_cast<uint8_t>(r.Family), static_cast<uint8_t>(r.WantPreview ? 1 : 0)};
  Put(out, r.Size, 8);
  const size_t head = std::min(r.Head.size(), kMaxHeadBytes);
  Put(out, head, 2);
  out.insert(out.end(), r.Head.begin(), r.Head.begin() + static_cast<ptrdiff_t>(head));
  return out;
}

bool DecodeRequest(const std::vector<uint8_t>& payload, TCheckRequest* r) {
  TReader in(payload);
  uint64_t tag, family, flags, size, head;
  if (!in.Get(&tag, 1) || tag != 'Q' || !in.Get(&family, 1) || !in.Get(&flags, 1) || !in.Get(&size, 8) ||
      !in.Get(&head, 2) || head > kMaxHeadBytes || family > static_cast<uint64_t>(TFileFamily::Audio) ||
      size > uint64_t{INT64_MAX}) {
    return false;
  }
  r->Family = static_cast<TFileFamily>(family);
  r->WantPreview = (flags & 1) != 0;
  r->Size = size;
  return in.Bytes(static_cast<size_t>(head), &r->Head) && in.AtEnd();
}

std::vector<uint8_t> EncodeReply(const TDecodeOutcome& o) {
  const TVerdict& v = o.Verdict;
  std::vector<uint8_t> out{'A', static_cast<uint8_t>(v.Kind), static_cast<uint8_t>(static_cast<int8_t>(v.Percent))};
  const std::string reason = v.Reason.substr(0, 255);
  Put(out, reason.size(), 1);
  out.insert(out.end(), reason.begin(), reason.end());
  Put(out, static_cast<uint64_t>(v.DurationMs), 8);
  Put(out, static_cast<uint32_t>(v.Width), 4);
  Put(out, static_cast<uint32_t>(v.Height), 4);
  const bool picture = !o.Preview.Empty() && o.Preview.Width <= kPreviewMaxWidth &&
                       o.Preview.Height <= kPreviewMaxHeight &&
                       o.Preview.Rgb.size() == size_t(o.Preview.Width) * o.Preview.Height * 3;
  Put(out, picture ? o.Preview.Width : 0, 2);
  Put(out, picture ? o.Preview.Height : 0, 2);
  if (picture) out.insert(out.end(), o.Preview.Rgb.begin(), o.Preview.Rgb.end());
  return out;
}

bool DecodeReply(const std::vector<uint8_t>& payload, TDecodeOutcome* o) {
  TReader in(payload);
  uint64_t tag, kind, percent, reasonLength, duration, width, height, pw, ph;
  std::vector<uint8_t> reason;
  if (!in.Get(&tag, 1) || tag != 'A' || !in.Get(&kind, 1) || kind > static_cast<uint64_t>(TVerdictKind::CouldNotCheck) ||
      !in.Get(&percent, 1) || !in.Get(&reasonLength, 1) || !in.Bytes(static_cast<size_t>(reasonLength), &reason) ||
      !in.Get(&duration, 8) || !in.Get(&width, 4) || !in.Get(&height, 4) || !in.Get(&pw, 2) || !in.Get(&ph, 2) ||
      pw > kPreviewMaxWidth || ph > kPreviewMaxHeight) {
    return false;
  }
  TVerdict& v = o->Verdict;
  v.Kind = static_cast<TVerdictKind>(kind);
  v.Percent = static_cast<int8_t>(percent);
  if (v.Percent < -1 || v.Percent > 100) return false;
  v.Reason.assign(reason.begin(), reason.end());
  v.DurationMs = static_cast<int64_t>(duration);
  v.Width = static_cast<int32_t>(width);
  v.Height = static_cast<int32_t>(height);
  o->Preview.Width = static_cast<int>(pw);
  o->Preview.Height = static_cast<int>(ph);
  if (pw == 0 || ph == 0) o->Preview = TPreview{};
  return in.Bytes(static_cast<size_t>(pw * ph * 3), &o->Preview.Rgb) && in.AtEnd();
}

bool SendMessage(int socket, const std::vector<uint8_t>& payload, int fd) {
  uint8_t length[4];
  for (int i = 0; i < 4; ++i) length[i] = static_cast<uint8_t>(payload.size() >> (8 * i));
  size_t done = 0;
  if (fd >= 0) {
    iovec io{length, sizeof length};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    ssize_t sent;
    do {
      sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent <= 0) return false;
    done = static_cast<size_t>(sent);
  }
  std::vector<uint8_t> all(length + done, length + sizeof length);
  all.insert(all.end(), payload.begin(), payload.end());
  size_t at = 0;
  while (at < all.size()) {
    const ssize_t sent = ::send(socket, all.data() + at, all.size() - at, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    at += static_cast<size_t>(sent);
  }
  return true;
}

TReceive ReceiveMessage(int socket, std::vector<uint8_t>& payload, size_t maxBytes, int timeoutMs, int* fd) {
  const bool limited = timeoutMs >= 0;
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(limited ? timeoutMs : 0);
  int received = -1;
  uint8_t length[4];
  const TReceive head = ReadExactly(socket, length, sizeof length, limited, deadline, &received);
  if (fd != nullptr && head == TReceive::Message) {
    *fd = received;
  } else if (received >= 0) {
    ::close(received);
  }
  if (fd != nullptr && head != TReceive::Message) *fd = -1;
  if (head != TReceive::Message) return head;
  const size_t n = size_t{length[0]} | size_t{length[1]} << 8 | size_t{length[2]} << 16 | size_t{length[3]} << 24;
  if (n > maxBytes) return TReceive::Malformed;
  payload.resize(n);
  const TReceive body = ReadExactly(socket, payload.data(), n, limited, deadline, nullptr);
  return body == TReceive::Closed ? TReceive::Malformed : body;
}

}  // namespace snapsalvager::decode
