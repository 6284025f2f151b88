#include "scan/RunPrefetcher.h"

#include "volume/VolumeAccess.h"

CRunPrefetcher::CRunPrefetcher(CVolumeAccess& access, size_t bufferSize) : m_access(access) {
  for (auto& buffer : m_buffers) buffer = std::make_unique_for_overwrite<uint8_t[]>(bufferSize);
  m_thread = std::thread([this] { Work(); });
}

CRunPrefetcher::~CRunPrefetcher() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_changed.notify_all();
  m_thread.join();
}

void CRunPrefetcher::Start(uint64_t first, uint64_t last) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_first = first;
    m_last = last;
    m_index ^= 1;
    m_requested = true;
    m_done = false;
  }
  m_changed.notify_all();
}

uint8_t* CRunPrefetcher::Wait(bool* ok) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [this] { return m_done; });
  *ok = m_ok;
  return m_buffers[m_index].get();
}

void CRunPrefetcher::Work() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [this] { return m_requested || m_stop; });
    if (m_stop) return;
    m_requested = false;
    const uint64_t first = m_first, last = m_last;
    uint8_t* buffer = m_buffers[m_index].get();
    lock.unlock();
    const bool ok = m_access.ReadClusters(first, last, buffer);
    lock.lock();
    m_ok = ok;
    m_done = true;
    m_changed.notify_all();
  }
}
