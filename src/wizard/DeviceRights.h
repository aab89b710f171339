// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Whether the user may read block devices: effective uid 0, or a member of the group
// "disk" (the Linux counterpart of the Administrators group for this program).
#pragma once

#include <optional>
#include <string>

namespace snapsalvager {

bool IsAdministrator();
// The start-up question is for a user who could not read the card by either way: neither
// an administrator nor able to ask udisks2 on the system bus (which prompts for a password).
bool AdministratorQuestionNeeded();
// Linux: the group whose members may read the card devices: the group of a removable drive's
// device node, else of any listed device, else "disk".
std::string DeviceGroupName();
// Tests: force the answer; nullopt asks the system again.
void SetAdministratorOverride(std::optional<bool> administrator);

}  // namespace snapsalvager
