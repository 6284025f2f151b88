#pragma once
// Files and folders written by recovery. Paths are UTF-8.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Why a file or folder could not be written. The target faults will repeat
// for every later file, so a recovery stops on them.
// Overwritten: the file's data on the scanned drive now belongs to another file.
enum class WriteFault { None, SourceRead, Overwritten, Exists, NameTooLong, TargetFull, TargetFailing, Other };

// Whether a fault will happen again for the next file written to the same target.
inline bool IsTargetFault(WriteFault fault) {
  return fault == WriteFault::TargetFull || fault == WriteFault::TargetFailing;
}

class COutputFile {
 public:
  virtual ~COutputFile() = default;
  // Creates a new file. Whatever already exists at path (a file, a folder, a
  // link to anything) is left as it is and gives WriteFault::Exists; a link is
  // never followed. Null with the operating system's reason on failure.
  static std::unique_ptr<COutputFile> Create(const std::string& path, std::string* error,
                                             WriteFault* fault = nullptr);
  virtual bool Write(const void* data, uint32_t length) = 0;
  // Flushes and closes; false when the data did not all reach the file.
  virtual bool Close() = 0;
  virtual std::string LastErrorText() const = 0;
  virtual WriteFault LastFault() const = 0;
};

// Tests put a target that fills up or fails in place of the disk's files.
using OutputFileFactory =
    std::function<std::unique_ptr<COutputFile>(const std::string& path, std::string* error, WriteFault* fault)>;
void SetOutputFileFactoryForTests(OutputFileFactory factory);
// The real file, whatever factory is set.
std::unique_ptr<COutputFile> CreateSystemOutputFile(const std::string& path, std::string* error, WriteFault* fault);

extern const char kPathSeparator;
// The longest file name the target's file systems take: bytes of UTF-8 on
// POSIX, UTF-16 units on Windows.
extern const size_t kMaxFileNameLength;

// Creates one folder; an existing folder (not a link to one) is reused.
// Anything else of that name gives WriteFault::Exists. False with a reason otherwise.
bool CreateFolder(const std::string& path, std::string* error = nullptr, WriteFault* fault = nullptr);
bool FolderExists(const std::string& path);
// Removes a file recovery wrote in part.
bool RemoveFile(const std::string& path);
// Creates a folder with any missing parents.
bool CreateFolderTree(const std::string& path, std::string* error = nullptr);
// Sets a written file's modification time from a UTC FILETIME value.
bool SetFileModificationTime(const std::string& path, uint64_t utcFileTime);
// True when writing below path would write to the disk the given drive lies
// on; sharedDisk then names that disk.
bool IsPathOnDrive(const std::string& path, char letter, std::string* sharedDisk = nullptr);
