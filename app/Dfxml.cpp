#include "app/Dfxml.h"

#include <cstdio>
#include <mutex>

#include "app/ResultsModel.h"
#include "fat32/Folder.h"
#include "ntfs/NTFSVolume.h"
#include "platform/Time.h"
#include "volume/FileWriter.h"
#include "volume/VolumeAccess.h"

namespace {

constexpr const char* kOwnNamespace = "urn:marovi:dfxml";

// Text for element content and attributes. Characters XML 1.0 cannot hold
// at all (control characters) become U+FFFD.
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          out += "\xEF\xBF\xBD";
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string Element(const char* name, const std::string& value) {
  return std::string("<") + name + ">" + Escape(value) + "</" + name + ">";
}
std::string Element(const char* name, uint64_t value) { return Element(name, std::to_string(value)); }

// A UTC FILETIME as ISO 8601; empty when there is none.
std::string IsoTime(uint64_t utc) {
  SystemTime t;
  if (utc == 0 || !FileTimeToSystemTime(utc, &t)) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

// A FAT entry's last write, as stored: local time, so without a zone.
std::string FatIsoTime(ByteSpan shortEntry) {
  const uint16_t date = LE16(shortEntry, fatentry::kWriteDate);
  const uint16_t time = LE16(shortEntry, fatentry::kWriteTime);
  if (date == 0) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", 1980 + (date >> 9), (date >> 5) & 15, date & 31,
                time >> 11, (time >> 5) & 63, (time & 31) * 2);
  return text;
}

// A time as the file list shows it ("YYYY-MM-DD  HH:MM"), for entries that
// keep theirs otherwise (exFAT); to the minute.
std::string ListedIsoTime(const std::string& text) {
  if (text.size() != 17 || text[4] != '-' || text[10] != ' ' || text[11] != ' ') return {};
  return text.substr(0, 10) + "T" + text.substr(12) + ":00";
}

struct FileFacts {
  std::string path;
  uint64_t size = 0;
  bool carved = false;
  uint64_t inode = 0;  // the MFT record; 0 for none
  std::string mtime;
  FileCondition condition = FileCondition::Pending;
};

std::string FileObject(CDelFile& file, const FileFacts& facts, uint64_t volumeOffset, std::mutex& readLock) {
  ContentLayout layout;
  {
    std::lock_guard<std::mutex> lock(readLock);
    layout = file.Layout();
  }
  std::string xml = "    <fileobject>\n      " + Element("filename", facts.path) + "\n      " +
                    Element("filesize", facts.size) + "\n      " + Element("alloc", uint64_t{0}) + "\n      " +
                    Element("unalloc", uint64_t{1}) + "\n";
  if (facts.inode != 0) xml += "      " + Element("inode", facts.inode) + "\n";
  if (!facts.mtime.empty()) xml += "      " + Element("mtime", facts.mtime) + "\n";
  if (layout.place == ContentPlace::Resident && facts.size != 0) {
    xml += "      <byte_runs><byte_run file_offset=\"0\" len=\"" + std::to_string(facts.size) + "\" type=\"resident\"/></byte_runs>\n";
  } else if (!layout.runs.empty()) {
    xml += "      <byte_runs>\n";
    for (const ContentRun& run : layout.runs) {
      xml += "        <byte_run file_offset=\"" + std::to_string(run.fileOffset) + "\" fs_offset=\"" +
             std::to_string(run.volumeOffset) + "\" img_offset=\"" + std::to_string(run.volumeOffset + volumeOffset) +
             "\" len=\"" + std::to_string(run.length) + "\"/>\n";
    }
    xml += "      </byte_runs>\n";
  }
  xml += std::string("      <marovi:origin>") + (facts.carved ? "carved" : "deleted") + "</marovi:origin>\n";
  xml += std::string("      <marovi:condition>") + ConditionName(facts.condition) + "</marovi:condition>\n";
  return xml + "    </fileobject>\n";
}

}  // namespace

std::string DfxmlText(CResultsModel& model, const DfxmlSource& source) {
  ScanSession& session = model.Session();
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  xml += "<dfxml xmlns=\"http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML\" "
         "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:marovi=\"" + std::string(kOwnNamespace) +
         "\" version=\"1.2.0\">\n";
  xml += "  <metadata><dc:type>Deleted and carved files</dc:type></metadata>\n";
  xml += "  <creator><program>Marovi</program><version>1.0</version></creator>\n";
  xml += "  <source>\n    " + Element("image_filename", source.imageArgument.empty() ? source.device : source.imageArgument) +
         "\n    " + Element("device", source.device) + "\n  </source>\n";
  CVolumeAccess* access = session.volumeAccess.get();
  xml += "  <volume offset=\"" + std::to_string(source.volumeOffset) + "\">\n    " +
         Element("partition_offset", source.volumeOffset) + "\n    " +
         Element("ftype_str", ResultSourceName(session.resultSource)) + "\n";
  if (session.ntfsVolume) {
    const CNTFSVolume& volume = *session.ntfsVolume;
    xml += "    " + Element("sector_size", volume.GetBytesPerSector()) + "\n    " +
           Element("block_size", static_cast<uint64_t>(volume.GetBytesPerSector()) * volume.GetSectorsPerCluster()) +
           "\n";
  } else if (access != nullptr) {
    xml += "    " + Element("sector_size", access->GetSectorSize()) + "\n    " +
           Element("block_size", access->GetClusterSize()) + "\n    " + Element("block_count", access->GetClusterCount()) +
           "\n";
  }
  const CFileConditions& conditions = model.Conditions();
  for (const CTreeNode* node : model.Tree().AllNodes()) {
    const std::string folder = CFolderTree::PathOf(node);
    if (node->folder != nullptr) {
      for (const auto& entry : node->folder->Files()) {
        const std::string mtime = session.resultSource == SourceExfat ? ListedIsoTime(entry->TimeText())
                                                                      : FatIsoTime(entry->ShortEntry());
        FileFacts facts{folder + "/" + entry->GetName(), entry->GetFileSize(), false, 0, mtime,
                        conditions.OfEntry(entry.get())};
        xml += FileObject(*entry, facts, source.volumeOffset, session.readLock);
      }
      continue;
    }
    for (size_t i : model.FilesOfNode(node)) {
      const FoundFile& found = session.foundFiles[i];
      std::shared_ptr<CDelFile> file = model.MakeRecoverable(found);
      if (!file) continue;
      const bool carved = found.kind == FoundKind::Carved;
      FileFacts facts{folder + "/" + found.name, found.size, carved, carved ? 0 : found.id, IsoTime(found.utcTime),
                      conditions.OfFound(i)};
      xml += FileObject(*file, facts, source.volumeOffset, session.readLock);
    }
  }
  return xml + "  </volume>\n</dfxml>\n";
}

bool WriteDfxml(CResultsModel& model, const DfxmlSource& source, const std::string& path, std::string* error) {
  return WriteTextFile(path, DfxmlText(model, source), error);
}
