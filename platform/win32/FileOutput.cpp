#include <windows.h>

#include "platform/Drives.h"
#include "platform/FileOutput.h"
#include "platform/win32/WinText.h"

const char kPathSeparator = '\\';
const size_t kMaxFileNameLength = 255;

namespace {
// ERROR_DISK_QUOTA_EXCEEDED, which older headers lack.
constexpr DWORD kDiskQuotaExceeded = 1295;

WriteFault FaultOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return WriteFault::Exists;
    case ERROR_FILENAME_EXCED_RANGE: return WriteFault::NameTooLong;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case kDiskQuotaExceeded: return WriteFault::TargetFull;
    case ERROR_WRITE_PROTECT:
    case ERROR_NOT_READY:
    case ERROR_WRITE_FAULT:
    case ERROR_CRC:
    case ERROR_DEV_NOT_EXIST: return WriteFault::TargetFailing;
    default: return WriteFault::Other;
  }
}

class CWin32OutputFile : public COutputFile {
 public:
  explicit CWin32OutputFile(HANDLE handle) : m_handle(handle) {}
  ~CWin32OutputFile() override {
    if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
  }
  bool Write(const void* data, uint32_t length) override {
    const auto* p = static_cast<const uint8_t*>(data);
    uint32_t done = 0;
    while (done < length) {
      DWORD n = 0;
      if (!WriteFile(m_handle, p + done, length - done, &n, nullptr)) {
        m_lastError = GetLastError();
        return false;
      }
      if (n == 0) {
        m_lastError = ERROR_DISK_FULL;
        return false;
      }
      done += n;
    }
    return true;
  }
  bool Close() override {
    if (m_handle == INVALID_HANDLE_VALUE) return false;
    const BOOL flushed = FlushFileBuffers(m_handle);
    if (!flushed) m_lastError = GetLastError();
    const BOOL closed = CloseHandle(m_handle);
    if (!closed) m_lastError = GetLastError();
    m_handle = INVALID_HANDLE_VALUE;
    return flushed && closed;
  }
  std::string LastErrorText() const override { return SystemErrorText(m_lastError); }
  WriteFault LastFault() const override { return FaultOf(m_lastError); }

 private:
  HANDLE m_handle;
  DWORD m_lastError = 0;
};

// Directories of a path from the top down, without the drive or share itself.
std::vector<std::string> Ancestors(const std::string& path) {
  std::vector<std::string> out;
  for (size_t i = 0; i < path.size(); ++i) {
    if ((path[i] == '\\' || path[i] == '/') && i > 0 && path[i - 1] != ':' && path[i - 1] != '\\' &&
        path[i - 1] != '/') {
      out.push_back(path.substr(0, i));
    }
  }
  out.push_back(path);
  return out;
}
}  // namespace

std::unique_ptr<COutputFile> CreateSystemOutputFile(const std::string& path, std::string* error, WriteFault* fault) {
  // CREATE_NEW never opens what exists, a link included.
  HANDLE handle = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD reason = GetLastError();
    if (error) *error = SystemErrorText(reason);
    if (fault) *fault = FaultOf(reason);
    return nullptr;
  }
  return std::make_unique<CWin32OutputFile>(handle);
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolder(const std::string& path, std::string* error, WriteFault* fault) {
  if (CreateDirectoryW(Widen(path).c_str(), nullptr)) return true;
  const DWORD reason = GetLastError();
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  // A junction or link to a folder is not reused: what is written must land where the user looks.
  if (reason == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return true;
  }
  if (error) *error = reason == ERROR_ALREADY_EXISTS ? "exists and is not a folder" : SystemErrorText(reason);
  if (fault) *fault = FaultOf(reason);
  return false;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(Widen(path).c_str()) != FALSE; }

bool CreateFolderTree(const std::string& path, std::string* error) {
  for (const std::string& folder : Ancestors(path)) {
    if (FolderExists(folder)) continue;
    if (!CreateFolder(folder, error)) return false;
  }
  return true;
}

bool SetFileModificationTime(const std::string& path, uint64_t utcFileTime) {
  HANDLE handle = CreateFileW(Widen(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(utcFileTime);
  written.dwHighDateTime = static_cast<DWORD>(utcFileTime >> 32);
  const BOOL ok = SetFileTime(handle, nullptr, nullptr, &written);
  CloseHandle(handle);
  return ok != FALSE;
}

bool IsPathOnDrive(const std::string& path, char letter, std::string* sharedDisk) {
  DriveInfo drive;
  // An image file is read, never mounted by us: a folder cannot lie on it.
  if (FindDrive(letter, &drive) && drive.isImage) return false;
  wchar_t full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameW(Widen(path.empty() ? "." : path).c_str(), MAX_PATH * 4, full, nullptr);
  const wchar_t first = length ? full[0] : (path.empty() ? 0 : static_cast<wchar_t>(path[0]));
  if (first == 0 || towupper(first) != towupper(static_cast<wchar_t>(letter))) return false;
  if (sharedDisk) *sharedDisk = std::string(1, letter) + ":";
  return true;
}
