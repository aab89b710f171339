// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Windows: an administrator is a process whose token is elevated; nothing else on the
// system can open a volume for it, so without elevation the start-up question is asked.
#include "wizard/DeviceRights.h"

#include <unistd.h>

namespace snapsalvager {
namespace {
std::optional<bool> g_override;
}

void SetAdministratorOverride(std::optional<bool> administrator) { g_override = administrator; }

bool IsAdministrator() {
  if (g_override) return *g_override;
  return ::geteuid() == 0;  // the token's elevation (PosixOnWindows)
}

bool AdministratorQuestionNeeded() { return !IsAdministrator(); }

}  // namespace snapsalvager
