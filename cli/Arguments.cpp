#include "cli/Arguments.h"

#include <cctype>
#include <cstdlib>

const char* UsageText() {
  return "usage:\n"
         "  marovi-cli --help | --version\n"
         "  marovi-cli drives [--json] [--image PATH[=LETTER]]...\n"
         "  marovi-cli scan SOURCE [--mode deleted|universal] [--json] [--dfxml FILE] [--quiet] [--verbose]\n"
         "  marovi-cli recover SOURCE [--mode deleted|universal] --to DIR\n"
         "             [--all | --node PATH ... | --find TEXT] [--condition LIST] [--quiet]\n"
         "SOURCE is --drive LETTER or --image PATH[=LETTER] [--partition N].\n"
         "A partitioned disk image gives a drive for each partition; --partition N\n"
         "chooses one by its number, as 'marovi-cli drives --image PATH' lists them;\n"
         "--partition 0 is the space outside every partition, for carving.\n"
         "--codepage NAME sets the ANSI code page of short names (default CP936).\n"
         "--verbose prints the readers' diagnostics and every rejected structure on stderr.\n"
         "Every found file has a condition: intact, partly-overwritten, overwritten,\n"
         "corrupt or unknown. --condition intact,unknown recovers only files in those.\n"
         "--dfxml FILE writes the findings as DFXML (Digital Forensics XML).\n"
         "--find TEXT recovers every found file whose name holds TEXT, ignoring case.\n"
         "Recovered files never replace anything at the target: a name in use\n"
         "gives 'name (2).ext'.\n"
         "--quiet writes nothing to standard error but the errors that end the run.\n";
}

bool ParseArguments(int argc, char** argv, CliArguments* out, std::string* error) {
  if (argc < 2) {
    *error = "no command given";
    return false;
  }
  out->command = argv[1];
  if (out->command == "--help" || out->command == "-h" || out->command == "help") {
    out->command = "help";
    return true;
  }
  if (out->command == "--version") {
    out->command = "version";
    return true;
  }
  if (out->command != "drives" && out->command != "scan" && out->command != "recover") {
    *error = "unknown command '" + out->command + "'";
    return false;
  }
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* target) {
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      *target = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      out->command = "help";
      return true;
    }
    if (arg == "--json") {
      out->json = true;
    } else if (arg == "--quiet") {
      out->quiet = true;
    } else if (arg == "--verbose") {
      out->verbose = true;
    } else if (arg == "--all") {
      out->all = true;
    } else if (arg == "--image") {
      if (!value(&text)) return false;
      out->images.push_back(text);
    } else if (arg == "--drive") {
      if (!value(&text)) return false;
      if (text.size() > 2 || text.empty() || !std::isalpha(static_cast<unsigned char>(text[0])) ||
          (text.size() == 2 && text[1] != ':')) {
        *error = "--drive takes a drive letter, not '" + text + "'";
        return false;
      }
      out->drive = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    } else if (arg == "--partition") {
      if (!value(&text)) return false;
      char* end = nullptr;
      const long number = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || number < 0 || number > 1024) {
        *error = "--partition takes a partition number, not '" + text + "'";
        return false;
      }
      out->partition = static_cast<int>(number);
    } else if (arg == "--mode") {
      if (!value(&out->mode)) return false;
      if (out->mode != "deleted" && out->mode != "universal") {
        *error = "--mode is deleted or universal, not '" + out->mode + "'";
        return false;
      }
    } else if (arg == "--codepage") {
      if (!value(&out->codepage)) return false;
    } else if (arg == "--to") {
      if (!value(&out->targetFolder)) return false;
    } else if (arg == "--node") {
      if (!value(&text)) return false;
      out->nodes.push_back(text);
    } else if (arg == "--condition") {
      if (!value(&text)) return false;
      std::string bad;
      if (!ParseConditionList(text, &out->conditions, &bad)) {
        *error = "--condition takes intact, partly-overwritten, overwritten, corrupt or unknown, not '" + bad + "'";
        return false;
      }
    } else if (arg == "--dfxml") {
      if (!value(&out->dfxmlPath)) return false;
    } else if (arg == "--find") {
      if (!value(&out->findText)) return false;
      out->hasFind = true;
    } else {
      *error = "unknown option '" + arg + "'";
      return false;
    }
  }
  if (out->command == "drives") return true;
  if ((out->drive != 0) == !out->images.empty() || out->images.size() > 1) {
    *error = "give one source: --drive LETTER or --image PATH";
    return false;
  }
  if (out->partition >= 0 && out->images.empty()) {
    *error = "--partition chooses a partition of the image given with --image";
    return false;
  }
  if (out->command == "recover") {
    if (out->targetFolder.empty()) {
      *error = "recover needs --to DIR";
      return false;
    }
    const int choices = (out->all ? 1 : 0) + (out->nodes.empty() ? 0 : 1) + (out->hasFind ? 1 : 0);
    if (choices != 1) {
      *error = "recover needs one of --all, --node PATH or --find TEXT";
      return false;
    }
  }
  return true;
}
