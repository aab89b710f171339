// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The helper's confinement, entered in a child process: what it may still do, what it is
// refused, and what ends it.
#include "decode/Sandbox.h"

#include "decode/DecodeProtocol.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace snapsalvager::decode {
namespace {

// Runs body in a sandboxed child; returns its wait status. body's return value is the exit
// code (0: all as expected, else the number of the failed step).
// socket, when given, becomes the child's standard input and output, as the helper's.
int InSandbox(const std::function<int()>& body, int socket = -1) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (socket >= 0) {
      ::dup2(socket, STDIN_FILENO);
      ::dup2(socket, STDOUT_FILENO);
    }
    std::string error;
    if (!EnterSandbox(TSandboxLimits{}, &error)) ::_exit(100);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

TEST(SandboxTest, AFileHandedOverTheSocketIsReadAndAnswered) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  char path[] = "/tmp/sandbox-test-XXXXXX";
  const int file = ::mkstemp(path);
  ASSERT_GE(file, 0);
  ASSERT_EQ(::write(file, "card bytes", 10), 10);
  ::unlink(path);
  ASSERT_TRUE(SendMessage(pair[0], {'Q'}, file));
  ::close(file);
  const int status = InSandbox([&] {
    // As the helper: the request on standard input, the file with it, the answer on output.
    std::vector<uint8_t> payload;
    int fd = -1;
    if (ReceiveMessage(STDIN_FILENO, payload, 16, -1, &fd) != TReceive::Message || fd < 0) return 1;
    char bytes[10] = {};
    if (::pread(fd, bytes, sizeof bytes, 0) != 10 || std::memcmp(bytes, "card bytes", 10) != 0) return 2;
    std::vector<char> memory(64 << 20, 1);  // room to decode in
    if (!SendMessage(STDOUT_FILENO, {'A'}, -1)) return 3;
    return memory[12345] == 1 ? 0 : 4;
  }, pair[1]);
  std::vector<uint8_t> answer;
  EXPECT_EQ(ReceiveMessage(pair[0], answer, 16, 5000, nullptr), TReceive::Message);
  ::close(pair[0]);
  ::close(pair[1]);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SandboxTest, FilesSocketsAndOtherDescriptorsAreRefused) {
  const int status = InSandbox([] {
    if (::open("/etc/passwd", O_RDONLY) >= 0 || errno != EACCES) return 1;
    if (::open("/tmp/sandbox-test-file", O_WRONLY | O_CREAT, 0600) >= 0) return 2;
    if (::socket(AF_INET, SOCK_STREAM, 0) >= 0 || errno != EACCES) return 3;
    if (::socket(AF_UNIX, SOCK_STREAM, 0) >= 0) return 4;
    if (::write(5, "x", 1) >= 0 || errno != EPERM) return 5;
    if (::fork() >= 0) return 6;  // a new process, not a thread
    return 0;
  });
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SandboxTest, StartingAProgramEndsTheProcess) {
  const int status = InSandbox([] {
    char* argv[] = {const_cast<char*>("/bin/true"), nullptr};
    ::execv("/bin/true", argv);
    return 1;  // still here: refused rather than killed (sanitizer builds)
  });
  const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS;
  const bool refused = WIFEXITED(status) && WEXITSTATUS(status) == 1;
  EXPECT_TRUE(killed || refused) << status;
  EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(SandboxTest, ASignalToAnotherProcessIsRefused) {
  const pid_t parent = ::getpid();
  const int status = InSandbox([parent] { return ::kill(parent, 0) == 0 ? 1 : 0; });
  EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "the sandboxed child could signal its parent";
}

}  // namespace
}  // namespace snapsalvager::decode
