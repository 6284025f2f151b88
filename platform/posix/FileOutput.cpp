#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/Drives.h"
#include "platform/FileOutput.h"
#include "platform/posix/DiskTopology.h"

const char kPathSeparator = '/';
const size_t kMaxFileNameLength = NAME_MAX;

namespace {
WriteFault FaultOf(int error) {
  switch (error) {
    case EEXIST: return WriteFault::Exists;
    case ENAMETOOLONG: return WriteFault::NameTooLong;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return WriteFault::TargetFull;
    case EROFS:
    case EIO: return WriteFault::TargetFailing;
    default: return WriteFault::Other;
  }
}

constexpr uint64_t kTicksPerSecond = 10000000ULL;
constexpr uint64_t kEpochDifference = 11644473600ULL;

class CPosixOutputFile : public COutputFile {
 public:
  explicit CPosixOutputFile(int fd) : m_fd(fd) {}
  ~CPosixOutputFile() override {
    if (m_fd >= 0) ::close(m_fd);
  }
  bool Write(const void* data, uint32_t length) override {
    const auto* p = static_cast<const uint8_t*>(data);
    uint32_t done = 0;
    while (done < length) {
      const ssize_t n = ::write(m_fd, p + done, length - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        m_lastError = errno;
        return false;
      }
      if (n == 0) {
        m_lastError = ENOSPC;
        return false;
      }
      done += static_cast<uint32_t>(n);
    }
    return true;
  }
  bool Close() override {
    if (m_fd < 0) return false;
    const int rc = ::close(m_fd);
    m_fd = -1;
    if (rc != 0) {
      m_lastError = errno;
      return false;
    }
    return true;
  }
  std::string LastErrorText() const override { return std::strerror(m_lastError); }
  WriteFault LastFault() const override { return FaultOf(m_lastError); }

 private:
  int m_fd;
  int m_lastError = 0;
};
}  // namespace

std::unique_ptr<COutputFile> CreateSystemOutputFile(const std::string& path, std::string* error, WriteFault* fault) {
  // O_EXCL never opens what exists and, with O_CREAT, never follows a link.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int saved = errno;
    if (error) *error = std::strerror(saved);
    if (fault) *fault = FaultOf(saved);
    return nullptr;
  }
  return std::make_unique<CPosixOutputFile>(fd);
}

bool CreateFolder(const std::string& path, std::string* error, WriteFault* fault) {
  if (::mkdir(path.c_str(), 0755) == 0) return true;
  const int saved = errno;
  struct stat st {};
  // A link to a folder is not reused: what is written must land where the user looks.
  if (saved == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  if (error) *error = saved == EEXIST ? "exists and is not a folder" : std::strerror(saved);
  if (fault) *fault = FaultOf(saved);
  return false;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool CreateFolderTree(const std::string& path, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec && !FolderExists(path)) {
    if (error) *error = ec.message();
    return false;
  }
  return true;
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SetFileModificationTime(const std::string& path, uint64_t utcFileTime) {
  if (utcFileTime / kTicksPerSecond < kEpochDifference) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(utcFileTime / kTicksPerSecond - kEpochDifference);
  times[1].tv_nsec = static_cast<long>(utcFileTime % kTicksPerSecond) * 100;
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool IsPathOnDrive(const std::string& path, char letter, std::string* sharedDisk) {
  DriveInfo drive;
  if (!FindDrive(letter, &drive)) return false;
  struct stat source {};
  if (::stat(drive.devicePath.c_str(), &source) != 0) return false;
  // An image file is read, never mounted by us: a folder cannot lie on it.
  if (!S_ISBLK(source.st_mode)) return false;
  // Partitions, volume managers and btrfs put one disk under several device
  // numbers: the disks beneath both sides are compared, not the numbers.
  const DiskTopology system;
  const std::set<std::string> scanned = DisksBeneathDevice(system, major(source.st_rdev), minor(source.st_rdev));
  for (const std::string& disk : DisksBeneathPath(system, path)) {
    if (scanned.count(disk) == 0) continue;
    if (sharedDisk) *sharedDisk = "/dev/" + disk;
    return true;
  }
  return false;
}
