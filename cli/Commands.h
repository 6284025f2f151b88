#pragma once

#include "cli/Arguments.h"

// Each returns the process exit status: 0 success, 1 recovery failures or
// nothing found to recover, 2 bad usage or a source that cannot be read;
// main makes it 3 when standard output could not be written.
int RunDrivesCommand(const CliArguments& args);
int RunScanCommand(const CliArguments& args);
int RunRecoverCommand(const CliArguments& args);
