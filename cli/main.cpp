#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "app/Version.h"

namespace {
int RunCommand(const CliArguments& args) {
  if (args.command == "help") {
    std::fputs(UsageText(), stdout);
    return 0;
  }
  if (args.command == "version") {
    std::printf("marovi-cli %s\n", MaroviVersion());
    return 0;
  }
  if (args.command == "drives") return RunDrivesCommand(args);
  if (args.command == "scan") return RunScanCommand(args);
  return RunRecoverCommand(args);
}

// What was printed must have reached its reader: a full disk or a closed pipe is a failure.
int CheckStandardOutput(int status) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  const int saved = errno;
  std::fprintf(stderr, "marovi-cli: cannot write standard output: %s\n", std::strerror(saved));
  return status == 0 || status == 1 ? 3 : status;
}
}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // A closed pipe is reported like any other failed write, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  CliArguments args;
  std::string error;
  if (!ParseArguments(argc, argv, &args, &error)) {
    std::fprintf(stderr, "marovi-cli: %s\n%s", error.c_str(), UsageText());
    return 2;
  }
  return CheckStandardOutput(RunCommand(args));
}
