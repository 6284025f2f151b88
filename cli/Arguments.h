#pragma once

#include <string>
#include <vector>

#include "app/FileConditions.h"

struct CliArguments {
  std::string command;  // drives, scan, recover
  std::vector<std::string> images;  // PATH or PATH=LETTER
  char drive = 0;
  int partition = -1;  // --partition N of a partitioned image, 0 for the space outside its partitions; -1 when not given
  std::string mode = "deleted";
  bool json = false;
  bool quiet = false;
  bool verbose = false;  // diagnostics and rejected structures on stderr
  std::string codepage;
  std::string targetFolder;
  bool all = false;
  std::vector<std::string> nodes;
  bool hasFind = false;
  std::string findText;
  std::vector<FileCondition> conditions;  // --condition: only files in these are recovered
  std::string dfxmlPath;                  // --dfxml FILE: the findings as DFXML
};

// Parses argv; false with a message for bad usage.
bool ParseArguments(int argc, char** argv, CliArguments* out, std::string* error);
const char* UsageText();
