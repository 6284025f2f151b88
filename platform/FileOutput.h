#pragma once
// Files and folders written by recovery. Paths are UTF-8.

#include <cstdint>
#include <memory>
#include <string>

class COutputFile {
 public:
  virtual ~COutputFile() = default;
  // Creates or overwrites path. Null with the operating system's reason on failure.
  static std::unique_ptr<COutputFile> Create(const std::string& path, std::string* error);
  virtual bool Write(const void* data, uint32_t length) = 0;
  // Flushes and closes; false when the data did not all reach the file.
  virtual bool Close() = 0;
  virtual std::string LastErrorText() const = 0;
};

extern const char kPathSeparator;

// Creates one folder; an existing folder is reused. False with a reason otherwise.
bool CreateFolder(const std::string& path, std::string* error = nullptr);
bool FolderExists(const std::string& path);
// Creates a folder with any missing parents.
bool CreateFolderTree(const std::string& path, std::string* error = nullptr);
// Sets a written file's modification time from a UTC FILETIME value.
bool SetFileModificationTime(const std::string& path, uint64_t utcFileTime);
// True when writing below path would write to the disk the given drive lies
// on; sharedDisk then names that disk.
bool IsPathOnDrive(const std::string& path, char letter, std::string* sharedDisk = nullptr);
