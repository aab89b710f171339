// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "wizard/DeviceRights.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "card/LinuxDrives.h"
#include "wizard/UDisks2Client.h"

namespace snapsalvager {
namespace {
std::optional<bool> g_override;
}

void SetAdministratorOverride(std::optional<bool> administrator) { g_override = administrator; }

bool IsAdministrator() {
  if (g_override) return *g_override;
  if (geteuid() == 0) return true;
  const struct group* disk = getgrnam("disk");
  if (!disk) return false;
  const gid_t diskGid = disk->gr_gid;
  if (getegid() == diskGid) return true;
  const int count = getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  const int got = getgroups(count, groups.data());
  for (int i = 0; i < got; ++i)
    if (groups[static_cast<size_t>(i)] == diskGid) return true;
  return false;
}

std::string DeviceGroupName() {
  std::string group;
  for (const bool removableOnly : {true, false}) {
    for (const TLinuxDrive& drive : LinuxDrives::List()) {
      if (removableOnly && drive.DriveType != DRIVE_REMOVABLE) continue;
      struct stat st {};
      if (drive.Path.rfind("/dev/", 0) != 0 || ::stat(drive.Path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
        continue;
      if (const struct group* g = getgrgid(st.st_gid); g && std::string(g->gr_name) != "root") return g->gr_name;
    }
  }
  return "disk";
}

bool AdministratorQuestionNeeded() { return !IsAdministrator() && !TUDisks2Client().Available(); }

}  // namespace snapsalvager
