// Stopping a workbook search from another thread. The thread that searches installs the
// caller's token for the length of the search; the engine's byte reading and inflating ask it
// every chunk, so a large workbook stops within a few megabytes of the request.
#pragma once

#include <atomic>

namespace quillmark::engine {

class CancelToken {
  public:
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

  private:
    std::atomic<bool> cancelled_{false};
};

// Makes `token` this thread's token until the scope ends (nothing: no token). Scopes nest.
class CancelScope {
  public:
    explicit CancelScope(const CancelToken* token);
    ~CancelScope();
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

  private:
    const CancelToken* previous_;
};

// Whether this thread's search has been asked to stop.
bool cancelRequested();

}  // namespace quillmark::engine
