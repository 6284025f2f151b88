#include <cstdio>

#include "cli/Arguments.h"
#include "cli/Commands.h"

int main(int argc, char** argv) {
  CliArguments args;
  std::string error;
  if (!ParseArguments(argc, argv, &args, &error)) {
    std::fprintf(stderr, "marovi-cli: %s\n%s", error.c_str(), UsageText());
    return 2;
  }
  if (args.command == "drives") return RunDrivesCommand(args);
  if (args.command == "scan") return RunScanCommand(args);
  return RunRecoverCommand(args);
}
