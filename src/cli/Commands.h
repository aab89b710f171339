// The commands of snapsalvager-cli. Each takes the arguments after its own name and
// returns the process exit status.
#pragma once

namespace snapsalvager::cli {

int RunExifCommand(int argc, char** argv);
int RunRecoverCommand(int argc, char** argv);
int RunRestoreCommand(int argc, char** argv);
int RunDrivesCommand(int argc, char** argv);

}  // namespace snapsalvager::cli
