#pragma once
// Reads the next run of units on a thread of its own while the current run
// is scanned, into the other of two buffers.

#include <array>
#include <cstdint>
#include <memory>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class CVolumeAccess;

class CRunPrefetcher {
 public:
  CRunPrefetcher(CVolumeAccess& access, size_t bufferSize);
  ~CRunPrefetcher();
  CRunPrefetcher(const CRunPrefetcher&) = delete;
  CRunPrefetcher& operator=(const CRunPrefetcher&) = delete;

  // Starts reading units first to last into the buffer not handed out last.
  void Start(uint64_t first, uint64_t last);
  // Waits for the run started last: its buffer, and whether the read succeeded.
  uint8_t* Wait(bool* ok);

 private:
  void Work();

  CVolumeAccess& m_access;
  // Left uninitialised: only what a read fills is ever looked at.
  std::array<std::unique_ptr<uint8_t[]>, 2> m_buffers;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_requested = false;
  bool m_done = false;
  bool m_stop = false;
  bool m_ok = false;
  uint64_t m_first = 0, m_last = 0;
  int m_index = 1;
  std::thread m_thread;
};
