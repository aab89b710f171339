// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// A small client of the udisks2 daemon on the system bus: is it there, and open a block
// device read-only for backup (Block.OpenForBackup), which makes the desktop's polkit agent
// ask the user for a password. What comes back is one descriptor or one failure to show.
#pragma once

#include <QDBusConnection>
#include <QString>

namespace snapsalvager {

class TUDisks2Client {
 public:
  // Why an open did not give a descriptor.
  enum class TFailure {
    None,
    NoDaemon,       // no system bus, or no udisks2 on it
    UnknownDevice,  // udisks2 does not list the device
    Refused,        // polkit said no, or the user cancelled the password prompt
    NoAgent,        // a password would do, but nothing here can ask for it (no agent)
    Busy,           // the device is in use (mounted) and could not be opened anyway
    NoAnswer,       // nobody answered the prompt in time
    Failed,         // anything else; Detail holds the daemon's words
  };

  struct TOpenResult {
    int Fd = -1;  // owned by the receiver, close-on-exec; -1 on failure
    TFailure Failure = TFailure::None;
    QString Detail;  // the daemon's or the bus's own message
  };

  // The system bus, or the bus a test named with SetBusAddressForTests.
  TUDisks2Client();
  explicit TUDisks2Client(const QDBusConnection& bus);

  // Whether udisks2 runs on the bus or would be started by it.
  bool Available() const;
  // Opens deviceNode (as the drive list names it: /dev/sdb1) read-only through udisks2.
  // Waits up to timeoutMs for the user to answer the password prompt, repainting windows
  // but taking no user input meanwhile.
  TOpenResult OpenForBackup(const QString& deviceNode, int timeoutMs = kPromptTimeoutMs) const;

  // Long enough for a user to read the prompt and fetch whoever knows the password.
  static constexpr int kPromptTimeoutMs = 5 * 60 * 1000;

  // Tests: talk to the bus at address instead of the system bus; empty restores it.
  static void SetBusAddressForTests(const QString& address);

 private:
  QString FindBlockObject(const QString& deviceNode, TOpenResult& failure) const;
  QDBusConnection bus_;
};

}  // namespace snapsalvager
