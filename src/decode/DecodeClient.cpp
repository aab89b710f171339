// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The helper is handed the file as a read-only descriptor plus its head read through the
// temporary-file reader: the helper needs no file system at all (its filter refuses open),
// a clip of gigabytes is streamed rather than copied, and the temporary-file format stays
// known in one place on this side.
#include "decode/DecodeClient.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "decode/DecodeProtocol.h"
#include "tempfile/TempFileFormat.h"
#include "tempfile/TempFileReader.h"

extern char** environ;

namespace snapsalvager::decode {
namespace fs = std::filesystem;

namespace {

constexpr char kHelperName[] = "snapsalvager-decode";

TDecodeOutcome Outcome(TVerdictKind kind, const char* reason) {
  TDecodeOutcome o;
  o.Verdict.Kind = kind;
  o.Verdict.Percent = kind == TVerdictKind::Unreadable ? 0 : -1;
  o.Verdict.Reason = reason;
  return o;
}

}  // namespace

fs::path HelperProgram() {
  if (const char* set = std::getenv("SNAPSALVAGER_DECODE_HELPER"); set != nullptr && *set != '\0') return set;
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return kHelperName;
  const fs::path beside = self.parent_path() / kHelperName;
  if (fs::exists(beside, error)) return beside;
  const fs::path built = self.parent_path().parent_path() / "decode" / kHelperName;
  if (fs::exists(built, error)) return built;
  return beside;
}

TDecodeHelper::TDecodeHelper(TDecodeClientOptions options) : options_(std::move(options)) {
  if (options_.Helper.empty()) options_.Helper = HelperProgram();
}

TDecodeHelper::~TDecodeHelper() { Finish(false); }

bool TDecodeHelper::Start() {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 clears close-on-exec on the copies: the helper gets its end as input and output.
  posix_spawn_file_actions_adddup2(&actions, pair[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pair[1], STDOUT_FILENO);
  const std::string program = options_.Helper.string();
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pair[1]);
  if (spawned != 0) {
    ::close(pair[0]);
    return false;
  }
  socket_ = pair[0];
  pid_ = pid;
  return true;
}

void TDecodeHelper::Finish(bool kill) {
  const pid_t pid = pid_;
  if (socket_ >= 0) ::close(socket_);  // end of input: a healthy helper leaves
  socket_ = -1;
  if (pid <= 0) return;
  if (kill) ::kill(pid, SIGKILL);
  int status = 0;
  // A helper between files leaves at once; one still decoding is not waited for.
  for (int tries = 0; tries < 100; ++tries) {
    if (::waitpid(pid, &status, WNOHANG) != 0) break;
    if (tries == 50) ::kill(pid, SIGKILL);
    ::usleep(10000);
  }
  pid_ = 0;
}

std::string TDecodeHelper::DeathReason() {
  const pid_t pid = pid_;
  int status = 0;
  std::string reason = "crashed";
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU) {
    reason = "cpu-limit";
  }
  pid_ = 0;
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  return reason;
}

void TDecodeHelper::Abort() {
  aborted_ = true;
  const pid_t pid = pid_;
  if (pid > 0) ::kill(pid, SIGKILL);
}

void TDecodeHelper::Reset() {
  Finish(true);
  aborted_ = false;
}

TDecodeOutcome TDecodeHelper::Check(const TDecodeJob& job) {
  TCheckRequest request;
  request.Family = FamilyOfType(job.Type);
  request.WantPreview = job.WantPreview;
  if (request.Family == TFileFamily::Unknown) return TDecodeOutcome{};
  if (aborted_) return Outcome(TVerdictKind::CouldNotCheck, "stopped");

  const int fd = ::open(job.Path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) {
    if (fd >= 0) ::close(fd);
    return Outcome(TVerdictKind::Unreadable, "open-failed");
  }
  request.Size = static_cast<uint64_t>(info.st_size);
  try {
    TPreviewFileStream stream(job.Path, TReadSettings{info.st_size, job.Scrambled});
    request.Head.resize(static_cast<size_t>(std::min<int64_t>(stream.GetSize(), kTempHeadLength)));
    request.Head.resize(static_cast<size_t>(std::max(0, stream.Read(request.Head.data(), static_cast<int32_t>(request.Head.size())))));
  } catch (const std::exception&) {
    ::close(fd);
    return Outcome(TVerdictKind::Unreadable, "open-failed");
  }

  // A helper that left between files (its lifetime's CPU limit) is replaced before this one.
  bool sent = false;
  for (int attempt = 0; attempt < 2 && !sent; ++attempt) {
    if (socket_ >= 0 && attempt > 0) DeathReason();
    if (socket_ < 0 && !Start()) {
      ::close(fd);
      return Outcome(TVerdictKind::CouldNotCheck, "no-helper");
    }
    // An Abort that came while the helper was being started found no process to kill.
    if (aborted_) {
      ::close(fd);
      Finish(true);
      return Outcome(TVerdictKind::CouldNotCheck, "stopped");
    }
    sent = SendMessage(socket_, EncodeRequest(request), fd);
  }
  ::close(fd);
  const int64_t mib = static_cast<int64_t>(request.Size >> 20);
  const int timeout = static_cast<int>(std::min<int64_t>(INT32_MAX, options_.TimeoutMs + mib * options_.TimeoutMsPerMiB));
  std::vector<uint8_t> payload;
  const TReceive got = sent ? ReceiveMessage(socket_, payload, kMaxReplyBytes, timeout, nullptr) : TReceive::Closed;
  TDecodeOutcome outcome;
  if (got == TReceive::Message && DecodeReply(payload, &outcome)) return outcome;
  if (aborted_) {
    Finish(true);
    return Outcome(TVerdictKind::CouldNotCheck, "stopped");
  }
  if (got == TReceive::TimedOut) {
    Finish(true);
    return Outcome(TVerdictKind::CouldNotCheck, "timeout");
  }
  if (got == TReceive::Message) {  // a reply that does not parse: the helper is not itself
    Finish(true);
    return Outcome(TVerdictKind::CouldNotCheck, "bad-reply");
  }
  const std::string reason = DeathReason();
  return Outcome(TVerdictKind::CouldNotCheck, reason.c_str());
}

TDecodePool::TDecodePool(TDecodeClientOptions options) {
  unsigned n = options.Helpers != 0 ? options.Helpers : std::max(1u, std::thread::hardware_concurrency());
  for (unsigned i = 0; i < n; ++i) helpers_.push_back(std::make_unique<TDecodeHelper>(options));
}

TDecodePool::~TDecodePool() { Stop(); }

void TDecodePool::Start(std::vector<TDecodeJob> jobs, TOnResult onResult) {
  Wait();
  jobs_ = std::move(jobs);
  onResult_ = std::move(onResult);
  next_ = 0;
  stopping_ = false;
  const size_t workers = std::min(helpers_.size(), jobs_.size());
  for (size_t i = 0; i < workers; ++i) threads_.emplace_back(&TDecodePool::Work, this, std::ref(*helpers_[i]));
}

void TDecodePool::Work(TDecodeHelper& helper) {
  for (size_t i = next_++; i < jobs_.size() && !stopping_; i = next_++) {
    const TDecodeOutcome outcome = helper.Check(jobs_[i]);
    if (stopping_) return;
    onResult_(i, outcome);
  }
}

void TDecodePool::Wait() {
  for (std::thread& t : threads_) t.join();
  threads_.clear();
}

void TDecodePool::Stop() {
  stopping_ = true;
  for (auto& h : helpers_) h->Abort();
  Wait();
  for (auto& h : helpers_) h->Reset();  // they may serve a later Start
}

}  // namespace snapsalvager::decode
