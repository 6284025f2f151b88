#pragma once

#include "cli/Arguments.h"

// Each returns the process exit status: 0 success, 1 recovery failures,
// 2 bad usage or a source that cannot be read.
int RunDrivesCommand(const CliArguments& args);
int RunScanCommand(const CliArguments& args);
int RunRecoverCommand(const CliArguments& args);
