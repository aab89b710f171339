// snapsalvager-cli recover: not built yet.
#include <cstdio>

#include "cli/Commands.h"

namespace snapsalvager::cli {

int RunRecoverCommand(int, char**) {
  std::fputs("snapsalvager-cli: this command is not available yet\n", stderr);
  return 2;
}

}  // namespace snapsalvager::cli
