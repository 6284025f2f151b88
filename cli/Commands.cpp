#include "cli/Commands.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>

#include "app/Dfxml.h"
#include "app/DriveRows.h"
#include "app/FileRows.h"
#include "app/Recovery.h"
#include "app/ResultsModel.h"
#include "cli/ConsoleProgress.h"
#include "cli/JsonWriter.h"
#include "platform/Diagnostics.h"
#include "platform/Drives.h"
#include "platform/FileOutput.h"
#include "platform/Text.h"
#include "volume/VolumeAccess.h"
#include "scan/ScanThread.h"

namespace {

const char* KindName(FoundKind kind) {
  switch (kind) {
    case FoundKind::Ntfs: return "ntfs";
    case FoundKind::Carved: return "carved";
    default: return "fat32";
  }
}

// "partition" and "offset" of a drive on a partitioned disk, and its container, as JSON members.
std::string JsonPartition(const DriveInfo& d) {
  std::string members;
  if (d.partition >= 0) {
    members += "\"partition\": " + std::to_string(d.partition) + ", \"offset\": " + std::to_string(d.offset) + ", ";
  }
  if (!d.container.empty()) members += "\"container\": " + JsonString(d.container) + ", ";
  return members;
}

bool PrepareDrives(const CliArguments& args, char* letter, std::vector<char>* imageLetters = nullptr) {
  // Diagnostics must not mix with the data this tool prints, and are silent unless asked for.
  SetDiagnosticStream(args.verbose && !args.quiet ? stderr : nullptr);
  std::string error;
  if (!args.codepage.empty() && !SetAnsiCodePage(args.codepage, &error)) {
    std::fprintf(stderr, "marovi-cli: %s\n", error.c_str());
    return false;
  }
  for (const std::string& image : args.images) {
    if (!RegisterImage(image, &error, letter, imageLetters)) {
      std::fprintf(stderr, "marovi-cli: cannot open %s\n", error.c_str());
      return false;
    }
  }
  return true;
}

std::string PartitionLine(const DriveInfo& d) {
  char line[160];
  std::snprintf(line, sizeof line, "  %-4s %-8s %s", std::to_string(d.partition).c_str(),
                d.fileSystem.empty() ? "-" : d.fileSystem.c_str(), FormatSize(d.totalSize).c_str());
  return std::string(line) + (d.partition == 0 ? "  outside every partition" : "") + "\n";
}

std::string PartitionList(const std::vector<DriveInfo>& drives) {
  std::string text = "  part fs       size\n";
  for (const DriveInfo& d : drives) text += PartitionLine(d);
  return text;
}

// The drive of the image to scan: the one asked for with --partition, else
// the only partition holding a file system.
bool ChooseImageDrive(const CliArguments& args, const std::vector<char>& letters, char* letter) {
  const std::vector<DriveInfo> drives = DrivesOfLetters(letters);
  const std::string& image = args.images.front();
  if (drives.size() == 1 && drives.front().partition < 0) {
    if (args.partition >= 0) {
      std::fprintf(stderr, "marovi-cli: %s has no partition table; leave out --partition\n", image.c_str());
      return false;
    }
    *letter = drives.front().letter;
    return true;
  }
  std::vector<DriveInfo> chosen;
  for (const DriveInfo& d : drives) {
    const bool wanted = args.partition >= 0 ? d.partition == args.partition : d.partition > 0 && !d.fileSystem.empty();
    if (wanted) chosen.push_back(d);
  }
  if (chosen.size() == 1) {
    *letter = chosen.front().letter;
    return true;
  }
  if (args.partition >= 0) {
    std::fprintf(stderr, "marovi-cli: %s has no partition %d; its partitions are:\n%s", image.c_str(), args.partition,
                 PartitionList(drives).c_str());
  } else {
    std::fprintf(stderr, "marovi-cli: %s has %zu partitions holding a file system; choose one with --partition N:\n%s",
                 image.c_str(), chosen.size(), PartitionList(drives).c_str());
  }
  return false;
}

// Runs the scan of the chosen source into the session; false when the source cannot be read.
bool Scan(const CliArguments& args, ScanSession& session, DriveInfo* drive) {
  char letter = args.drive;
  std::vector<char> imageLetters;
  if (!PrepareDrives(args, &letter, &imageLetters)) return false;
  if (!args.images.empty() && !ChooseImageDrive(args, imageLetters, &letter)) return false;
  if (!FindDrive(letter, drive)) {
    std::fprintf(stderr, "marovi-cli: drive %c: does not exist (see 'marovi-cli drives')\n", letter);
    return false;
  }
  session.selectedDrive = drive->letter;
  session.recoveryMode = args.mode == "universal" ? ModeUniversal : ModeDeletedFiles;
  CConsoleProgress progress(!args.quiet && isatty(STDERR_FILENO), args.quiet);
  std::string openError;
  if (!OpenSelectedDrive(session, &openError)) {
    std::fprintf(stderr, "marovi-cli: cannot open %s\n", openError.c_str());
    return false;
  }
  ScanThreadProc(progress, session);
  if (session.unreadableSectors != 0) {
    DiagnosticPrintf("%" PRIu64 " sectors could not be read and were taken as zeros: %s\n", session.unreadableSectors,
                     session.reader->DescribeUnreadableSince(0).c_str());
  }
  if (!session.sourceError.empty()) {
    std::fprintf(stderr, "marovi-cli: cannot read %s: %s\n", DriveDeviceText(*drive).c_str(),
                 session.sourceError.c_str());
    return false;
  }
  return true;
}

// A file put together from pieces lists them, each where it lies on the volume.
void PrintPieces(const FileRow& row) {
  if (row.file == nullptr) return;
  const ContentLayout layout = row.file->Layout();
  if (layout.runs.size() < 2) return;
  std::printf(", \"pieces\": [");
  for (size_t i = 0; i < layout.runs.size(); ++i) {
    std::printf("%s{\"byteOffset\": %" PRIu64 ", \"length\": %" PRIu64 "}", i == 0 ? "" : ", ",
                layout.runs[i].volumeOffset, layout.runs[i].length);
  }
  std::printf("]");
}

uint64_t CarvedVolumeOffset(const ScanSession& session, const FileRow& row) {
  if (row.file != nullptr) {
    const ContentLayout layout = row.file->Layout();
    if (!layout.runs.empty()) return layout.runs.front().volumeOffset;
  }
  return session.volumeAccess ? session.volumeAccess->SectorToVolumeOffset(row.number) : 0;
}

void PrintJson(const CliArguments& args, const DriveInfo& drive, CResultsModel& model) {
  const ScanSession& session = model.Session();
  std::printf("{\"drive\": %s, \"device\": %s, %s\"fileSystem\": %s, \"mode\": %s, \"resultSource\": %s, ",
              JsonString(std::string(1, drive.letter)).c_str(), JsonString(drive.devicePath).c_str(),
              JsonPartition(drive).c_str(),
              JsonString(session.fileSystem).c_str(), JsonString(args.mode).c_str(),
              JsonString(ResultSourceName(session.resultSource)).c_str());
  std::printf("\"notes\": [");
  for (size_t i = 0; i < session.notes.size(); ++i) {
    std::printf("%s%s", i == 0 ? "" : ", ", JsonString(session.notes[i]).c_str());
  }
  std::printf("], \"unreadableSectors\": %" PRIu64 ", \"files\": [", session.unreadableSectors);
  bool first = true;
  for (const CTreeNode* node : model.Tree().AllNodes()) {
    const std::string path = CFolderTree::PathOf(node);
    for (const FileRow& row : model.RowsOfNode(node)) {
      std::printf("%s\n  {\"path\": %s, \"name\": %s, \"size\": %" PRIu64 ", \"time\": %s, \"kind\": %s",
                  first ? "" : ",", JsonString(path).c_str(), JsonString(row.name).c_str(), row.size,
                  JsonString(row.timeText).c_str(), JsonString(row.kind == FoundKind::Fat32 ? ResultSourceName(session.resultSource) : KindName(row.kind)).c_str());
      switch (row.kind) {
        case FoundKind::Ntfs: std::printf(", \"record\": %" PRIu64, row.number); break;
        case FoundKind::Carved: {
          // Numbers for dd: the sector of the volume the file starts at, and its byte.
          const uint64_t offset = CarvedVolumeOffset(session, row);
          const uint32_t sectorSize = session.volumeAccess ? session.volumeAccess->GetSectorSize() : 0;
          std::printf(", \"firstSector\": %" PRIu64 ", \"byteOffset\": %" PRIu64 ", \"type\": %d",
                      sectorSize ? offset / sectorSize : row.number, offset, row.typeCode);
          PrintPieces(row);
          break;
        }
        case FoundKind::Fat32: std::printf(", \"firstCluster\": %" PRIu64, row.number); break;
      }
      const FileCondition condition = model.Conditions().OfRow(row);
      std::printf(", \"condition\": %s", JsonString(ConditionName(condition)).c_str());
      const std::string why = model.Conditions().WhyOfRow(row);
      if (!why.empty()) std::printf(", \"conditionWhy\": %s", JsonString(why).c_str());
      std::printf("}");
      first = false;
    }
  }
  std::printf("%s]}\n", first ? "" : "\n");
}

void PrintTree(const DriveInfo& drive, CResultsModel& model) {
  const ScanSession& session = model.Session();
  std::printf("%c: %s (%s)\n", drive.letter, DriveDeviceText(drive).c_str(),
              session.fileSystem.empty() ? "unknown file system" : session.fileSystem.c_str());
  for (const std::string& note : session.notes) std::printf("note: %s\n", note.c_str());
  if (session.unreadableSectors != 0) {
    std::printf("note: %" PRIu64 " sectors could not be read; they were taken as zeros\n", session.unreadableSectors);
  }
  size_t total = 0;
  for (const CTreeNode* node : model.Tree().AllNodes()) {
    int depth = 0;
    for (const CTreeNode* p = node->parent; p; p = p->parent) ++depth;
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    std::printf("%s%s\n", indent.c_str(), node->caption.c_str());
    for (const FileRow& row : model.RowsOfNode(node)) {
      std::printf("%s  - %s  %s%s%s  [%s]\n", indent.c_str(), row.name.c_str(), row.sizeText.c_str(),
                  row.timeText.empty() ? "" : "  ", row.timeText.c_str(), ConditionName(model.Conditions().OfRow(row)));
      ++total;
    }
  }
  std::printf("%zu files found\n", total);
}

bool CheckChosenNodes(const CliArguments& args, CResultsModel& model) {
  CFolderTree& tree = model.Tree();
  if (args.all) {
    if (!tree.GetDriveNode()->checked) model.ClickNodeCheckBox(tree.GetDriveNode());
    return true;
  }
  for (const std::string& path : args.nodes) {
    CTreeNode* node = tree.FindByPath(path);
    if (node == nullptr || node == tree.GetDriveNode()) {
      std::fprintf(stderr, "marovi-cli: no node '%s' in the results (see 'marovi-cli scan')\n", path.c_str());
      return false;
    }
    if (!node->checked) model.ClickNodeCheckBox(node);
  }
  return true;
}

int ReportRecovery(const RecoveryReport& report) {
  if (report.refused) {
    std::fprintf(stderr, "marovi-cli: %s\n", report.refusalText.c_str());
    return 2;
  }
  if (report.nothingChecked) {
    std::fprintf(stderr, "marovi-cli: nothing to recover: the chosen folders list no files\n");
    return 1;
  }
  if (report.stopped) {
    std::printf("恢复已停止: %s\n", report.stopReason.c_str());
  } else {
    std::printf("恢复完成\n");
  }
  std::printf("%u files written to %s, %u failed\n", report.written, report.rootPath.c_str(), report.failed);
  if (report.skipped != 0) std::printf("%u files left out for their condition\n", report.skipped);
  for (const std::string& failure : report.failures) std::printf("failed: %s\n", failure.c_str());
  if (!report.reportPath.empty()) std::printf("report: %s\n", report.reportPath.c_str());
  if (!report.reportError.empty()) std::printf("the report cannot be written: %s\n", report.reportError.c_str());
  return report.failed == 0 && !report.stopped ? 0 : 1;
}

}  // namespace

int RunDrivesCommand(const CliArguments& args) {
  char letter = 0;
  if (!PrepareDrives(args, &letter)) return 2;
  const std::vector<DriveInfo> drives = ListDrives();
  if (args.json) std::printf("[");
  bool first = true;
  std::string lastNote;
  for (const DriveInfo& d : drives) {
    const char* type = d.type == DriveType::Removable ? "removable" : "fixed";
    if (args.json) {
      std::printf("%s\n  {\"letter\": %s, \"device\": %s, \"type\": %s, \"fileSystem\": %s, \"size\": %" PRIu64
                  ", %s\"image\": %s",
                  first ? "" : ",", JsonString(std::string(1, d.letter)).c_str(),
                  JsonString(d.devicePath).c_str(), JsonString(type).c_str(),
                  JsonString(d.fileSystem).c_str(), d.totalSize, JsonPartition(d).c_str(), d.isImage ? "true" : "false");
      if (!d.note.empty()) std::printf(", \"note\": %s", JsonString(d.note).c_str());
      std::printf("}");
    } else {
      std::printf("%c:  %-24s %-9s %-6s %s\n", d.letter, DriveDeviceText(d).c_str(), type,
                  d.fileSystem.empty() ? "-" : d.fileSystem.c_str(), FormatSize(d.totalSize).c_str());
      // Drives of one image share their table's note: once is enough.
      if (!d.note.empty() && d.note != lastNote) std::printf("    note: %s\n", d.note.c_str());
      lastNote = d.note;
    }
    first = false;
  }
  if (args.json) std::printf("%s]\n", first ? "" : "\n");
  return 0;
}

int RunScanCommand(const CliArguments& args) {
  ScanSession& session = TheSession();
  DriveInfo drive;
  if (!Scan(args, session, &drive)) return 2;
  CResultsModel model(session);
  model.Conditions().RunHere();
  if (!args.dfxmlPath.empty()) {
    std::string error;
    if (!WriteDfxml(model, DfxmlSource{drive.devicePath, args.images.empty() ? std::string() : args.images.front(),
                                       drive.partition >= 0 ? drive.offset : 0},
                    args.dfxmlPath, &error)) {
      std::fprintf(stderr, "marovi-cli: cannot write %s: %s\n", args.dfxmlPath.c_str(), error.c_str());
      return 2;
    }
  }
  if (args.json) {
    PrintJson(args, drive, model);
  } else {
    PrintTree(drive, model);
  }
  return 0;
}

int RunRecoverCommand(const CliArguments& args) {
  ScanSession& session = TheSession();
  DriveInfo drive;
  if (!Scan(args, session, &drive)) return 2;
  CResultsModel model(session);
  CRecovery recovery(model);
  recovery.SetConditionFilter(args.conditions);
  // What to recover is settled before anything is made at the target.
  if (args.hasFind && model.FindFiles(args.findText) == 0) {
    std::fprintf(stderr, "没有找到文件\n");
    return 1;
  }
  if (!args.hasFind && !CheckChosenNodes(args, model)) return 2;
  std::string error;
  if (!CreateFolderTree(args.targetFolder, &error)) {
    std::fprintf(stderr, "marovi-cli: cannot create %s: %s\n", args.targetFolder.c_str(), error.c_str());
    return 2;
  }
  if (args.hasFind) return ReportRecovery(recovery.RecoverRows(model.Rows(), args.targetFolder));
  return ReportRecovery(recovery.RecoverChecked(args.targetFolder));
}
