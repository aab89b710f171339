// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// How the wizard gets at the card before a scan: the device opened directly when this process
// may (root, or a member of the device's group); otherwise through udisks2, whose password
// prompt appears once per device per run (the descriptor is kept by the engine); when neither
// works, one clear message.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

namespace snapsalvager {

// Makes the drive readable for the scan. False with the message to show when it is not.
bool OpenCardForScan(uint8_t driveNumber, QString& message);

// The message for a card that cannot be opened: the device as the user knows it ("E: (/dev/sdb1)"),
// the system's reason (errno) and, for missing rights, what to do (the group owning path).
QString CardCannotBeOpenedText(const QString& device, const std::string& path, int error);

// The message when udisks2 would open the card after a password, but nothing here can ask for
// one (no polkit authentication agent runs): no prompt is promised.
QString UDisks2NoAgentText(const QString& device);

// Tests: treat a direct open as refused for missing rights, as for a normal desktop user.
void SetDirectCardOpenRefusedForTests(bool refused);

}  // namespace snapsalvager
