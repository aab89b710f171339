// snapsalvager-cli exif: not built yet.
#include <cstdio>

#include "cli/Commands.h"

namespace snapsalvager::cli {

int RunExifCommand(int, char**) {
  std::fputs("snapsalvager-cli: this command is not available yet\n", stderr);
  return 2;
}

}  // namespace snapsalvager::cli
