#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/PosixDevice.h"

std::unique_ptr<CPosixDevice> CPosixDevice::Open(const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    if (error) *error = std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  if (!S_ISBLK(st.st_mode) && !S_ISREG(st.st_mode)) {
    if (error) *error = "not a block device or regular file";
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<CPosixDevice>(new CPosixDevice(fd, S_ISBLK(st.st_mode)));
}

CPosixDevice::~CPosixDevice() { ::close(m_fd); }

bool CPosixDevice::Seek(uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) {
    m_lastError = EINVAL;
    return false;
  }
  m_position = offset;
  return true;
}

bool CPosixDevice::Read(void* buffer, uint32_t length, uint32_t* got) {
  if (!ReadAt(m_position, buffer, length, got)) return false;
  m_position += *got;
  return true;
}

bool CPosixDevice::ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) {
  *got = 0;
  if (offset > static_cast<uint64_t>(INT64_MAX)) {
    m_lastError = EINVAL;
    return false;
  }
  auto* out = static_cast<uint8_t*>(buffer);
  while (*got < length) {
    const ssize_t n = ::pread(m_fd, out + *got, length - *got, static_cast<off_t>(offset + *got));
    if (n < 0) {
      if (errno == EINTR) continue;
      m_lastError = errno;
      return false;
    }
    if (n == 0) break;  // end of the device
    *got += static_cast<uint32_t>(n);
  }
  return true;
}

bool CPosixDevice::GetGeometry(DiskGeometry* geometry) {
  if (m_isBlockDevice) {
    int sectorSize = 0;
    uint64_t size = 0;
    if (::ioctl(m_fd, BLKSSZGET, &sectorSize) != 0 || ::ioctl(m_fd, BLKGETSIZE64, &size) != 0) {
      m_lastError = errno;
      return false;
    }
    geometry->bytesPerSector = static_cast<uint32_t>(sectorSize);
    geometry->diskSize = size;
    return true;
  }
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) {
    m_lastError = errno;
    return false;
  }
  geometry->bytesPerSector = 512;
  geometry->diskSize = static_cast<uint64_t>(st.st_size);
  return true;
}

std::string CPosixDevice::LastErrorText() const { return std::strerror(m_lastError.load()); }
