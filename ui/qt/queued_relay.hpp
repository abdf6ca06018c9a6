#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace zelvo::launcher {

// Lets another thread ask for a call on a QObject's thread. Requests are
// coalesced: while one call is queued, further requests add nothing. After
// detach() (on the object's thread, before the object dies) requests are
// dropped, so a late worker never reaches a destroyed receiver.
class QueuedRelay : public std::enable_shared_from_this<QueuedRelay> {
 public:
  QueuedRelay(QObject* context, std::function<void()> call)
      : context_(context), call_(std::move(call)) {}

  void post() {
    if (pending_.exchange(true)) return;
    std::lock_guard lock(mutex_);
    if (!context_) return;
    QMetaObject::invokeMethod(
        context_,
        [self = shared_from_this()] {
          self->pending_ = false;
          self->call_();
        },
        Qt::QueuedConnection);
  }

  void detach() {
    std::lock_guard lock(mutex_);
    context_ = nullptr;
  }

 private:
  std::mutex mutex_;
  QObject* context_;
  std::function<void()> call_;
  std::atomic<bool> pending_{false};
};

}  // namespace zelvo::launcher
