#include "platform/win32/Win32Device.h"

#include <winioctl.h>

#include <cstring>
#include <set>

#include "platform/BootSector.h"
#include "platform/Diagnostics.h"
#include "platform/win32/WinText.h"

namespace {
constexpr uint32_t kDefaultSectorSize = 512;
// Boot-sector offsets of the file systems whose sector size the fallback reads.
constexpr size_t kBytesPerSector = 0x0B;   // NTFS and FAT, little-endian 16 bits
constexpr size_t kExFatSectorShift = 0x6C; // bytes per sector as a power of two

// The fallback is told once per device path, not at every open.
bool FirstTimeFor(const std::string& path) {
  static std::mutex mutex;
  static std::set<std::string> told;
  std::lock_guard<std::mutex> lock(mutex);
  return told.insert(path).second;
}
}  // namespace

std::unique_ptr<CWin32Device> CWin32Device::Open(const std::string& path, std::string* error) {
  // Read access only, sharing with whoever else has the volume open.
  HANDLE handle = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_READONLY, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (error) *error = SystemErrorText(GetLastError());
    return nullptr;
  }
  return std::unique_ptr<CWin32Device>(new CWin32Device(handle, path));
}

CWin32Device::~CWin32Device() { CloseHandle(m_handle); }

bool CWin32Device::SetPointer(uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) {
    m_lastError = ERROR_INVALID_PARAMETER;
    return false;
  }
  LONG high = static_cast<LONG>(offset >> 32);
  const DWORD low = SetFilePointer(m_handle, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    m_lastError = GetLastError();
    return false;
  }
  return true;
}

bool CWin32Device::ReadHere(void* buffer, uint32_t length, uint32_t* got) {
  *got = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  while (*got < length) {
    DWORD n = 0;
    if (!ReadFile(m_handle, out + *got, length - *got, &n, nullptr)) {
      m_lastError = GetLastError();
      return false;
    }
    if (n == 0) break;  // end of the device
    *got += n;
  }
  return true;
}

bool CWin32Device::Seek(uint64_t offset) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return SetPointer(offset);
}

bool CWin32Device::Read(void* buffer, uint32_t length, uint32_t* got) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return ReadHere(buffer, length, got);
}

bool CWin32Device::ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) {
  std::lock_guard<std::mutex> lock(m_mutex);
  *got = 0;
  return SetPointer(offset) && ReadHere(buffer, length, got);
}

uint64_t CWin32Device::MeasureSize() {
  DWORD returned = 0;
  GET_LENGTH_INFORMATION lengthInfo{};
  if (DeviceIoControl(m_handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &lengthInfo, sizeof lengthInfo, &returned,
                      nullptr) &&
      lengthInfo.Length.QuadPart > 0) {
    return static_cast<uint64_t>(lengthInfo.Length.QuadPart);
  }
  // Files and the volumes some systems emulate answer only to a seek to the end.
  std::lock_guard<std::mutex> lock(m_mutex);
  LARGE_INTEGER zero{}, end{};
  if (!SetFilePointerEx(m_handle, zero, &end, FILE_END)) return 0;
  return static_cast<uint64_t>(end.QuadPart);
}

uint32_t CWin32Device::SectorSizeFromBootSector() {
  uint8_t sector[kDefaultSectorSize];
  uint32_t got = 0;
  if (!ReadAt(0, sector, sizeof sector, &got) || got < sizeof sector) return 0;
  const std::string fileSystem = FileSystemOfBootSector(sector, got);
  uint32_t size = 0;
  if (fileSystem == "NTFS" || fileSystem == "FAT32" || fileSystem == "FAT") {
    size = static_cast<uint32_t>(sector[kBytesPerSector] | sector[kBytesPerSector + 1] << 8);
  } else if (fileSystem == "exFAT" && sector[kExFatSectorShift] >= 9 && sector[kExFatSectorShift] <= 12) {
    size = 1u << sector[kExFatSectorShift];
  }
  const bool powerOfTwo = size >= 256 && size <= 4096 && (size & (size - 1)) == 0;
  return powerOfTwo ? size : 0;
}

bool CWin32Device::GetGeometry(DiskGeometry* geometry) {
  DISK_GEOMETRY_EX disk{};
  DWORD returned = 0;
  if (DeviceIoControl(m_handle, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &disk, sizeof disk, &returned,
                      nullptr)) {
    geometry->bytesPerSector = disk.Geometry.BytesPerSector;
    geometry->diskSize = static_cast<uint64_t>(disk.DiskSize.QuadPart);
    return true;
  }
  const DWORD reason = GetLastError();
  // Image files, and volumes that do not answer (Wine's among them): the
  // boot sector of a known file system tells the sector size, else 512.
  const uint32_t fromBootSector = SectorSizeFromBootSector();
  geometry->bytesPerSector = fromBootSector ? fromBootSector : kDefaultSectorSize;
  geometry->diskSize = MeasureSize();
  if (FirstTimeFor(m_path)) {
    DiagnosticPrintf("Geometry query failed for %s (0x%X): %u bytes per sector %s\n", m_path.c_str(),
                     static_cast<unsigned>(reason),
                     static_cast<unsigned>(geometry->bytesPerSector),
                     fromBootSector ? "from the boot sector" : "assumed");
  }
  return geometry->diskSize != 0;
}

std::string CWin32Device::LastErrorText() const { return SystemErrorText(m_lastError.load()); }
