// Whether the user may read block devices: effective uid 0, or a member of the group
// "disk" (the Linux counterpart of the Administrators group for this program).
#pragma once

#include <optional>

namespace snapsalvager {

bool IsAdministrator();
// Tests: force the answer; nullopt asks the system again.
void SetAdministratorOverride(std::optional<bool> administrator);

}  // namespace snapsalvager
