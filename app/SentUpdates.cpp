#include "app/SentUpdates.h"

#include <utility>

CSentUpdates::CSentUpdates(Poster poster) : m_poster(std::move(poster)) {}

bool CSentUpdates::Send(std::function<void()> apply) {
  auto shared = m_shared;
  auto done = std::make_shared<bool>(false);
  {
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (shared->detached) return false;
  }
  // The job runs on the user-interface thread, as does Detach, so the two
  // never overlap; the flag is read under the lock only for the sender's sake.
  m_poster([shared, done, apply = std::move(apply)] {
    bool detached;
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      detached = shared->detached;
    }
    if (!detached) apply();
    std::lock_guard<std::mutex> lock(shared->mutex);
    *done = true;
    shared->applied.notify_all();
  });
  std::unique_lock<std::mutex> lock(shared->mutex);
  shared->applied.wait(lock, [&] { return *done || shared->detached; });
  return *done && !shared->detached;
}

void CSentUpdates::Detach() {
  std::lock_guard<std::mutex> lock(m_shared->mutex);
  m_shared->detached = true;
  m_shared->applied.notify_all();
}

bool CSentUpdates::IsDetached() const {
  std::lock_guard<std::mutex> lock(m_shared->mutex);
  return m_shared->detached;
}
