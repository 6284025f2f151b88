#pragma once
// A volume (\\.\X:) or image file opened with GENERIC_READ only.

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "platform/Device.h"

class CWin32Device : public CDevice {
 public:
  static std::unique_ptr<CWin32Device> Open(const std::string& path, std::string* error);
  ~CWin32Device() override;
  bool Seek(uint64_t offset) override;
  bool Read(void* buffer, uint32_t length, uint32_t* got) override;
  bool ReadAt(uint64_t offset, void* buffer, uint32_t length, uint32_t* got) override;
  bool GetGeometry(DiskGeometry* geometry) override;
  uint32_t LastError() const override { return m_lastError; }
  std::string LastErrorText() const override;

 private:
  CWin32Device(HANDLE handle, std::string path) : m_handle(handle), m_path(std::move(path)) {}
  bool SetPointer(uint64_t offset);
  bool ReadHere(void* buffer, uint32_t length, uint32_t* got);
  uint64_t MeasureSize();
  uint32_t SectorSizeFromBootSector();

  HANDLE m_handle;
  std::string m_path;
  // The handle has one file position; positioned reads take it in turn.
  std::mutex m_mutex;
  std::atomic<uint32_t> m_lastError{0};
};
