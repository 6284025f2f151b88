#pragma once
// Updates from the scan thread that wait until the user-interface thread has
// applied them, and that can be cut off at once when the window goes away:
// after Detach no update runs and no sender is left waiting.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class CSentUpdates {
 public:
  // Hands a job to the user-interface thread, to run there later.
  using Poster = std::function<void(std::function<void()> job)>;

  explicit CSentUpdates(Poster poster);

  // Runs apply on the user-interface thread and waits until it has run.
  // False when the updates were detached and apply was dropped.
  bool Send(std::function<void()> apply);
  // Called on the user-interface thread; jobs still queued do nothing.
  void Detach();
  bool IsDetached() const;

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable applied;
    bool detached = false;
  };
  Poster m_poster;
  std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};
