#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

class QQuickWindow;

namespace zelvo::launcher {

class LauncherModel;
struct LauncherVM;
class QueuedRelay;

// The launcher's main loop on Qt's event loop. One frame is sync_frame; the
// window then renders whatever it changed. Frames run after every input event,
// whenever another thread calls the waker, at the display rate while
// something moves on screen (busy overlay, log status timer, logs view),
// and otherwise at least every 10 seconds. The loop ends before the first
// frame that finds quit_requested, or after the frame in which the window
// was asked to close.
class FrameLoop : public QObject {
  Q_OBJECT
 public:
  using Clock = std::function<std::int64_t()>;
  static constexpr int kIdleWaitMs = 10000;

  // clock: monotonic nanoseconds for the splash phrase (tests inject one).
  FrameLoop(LauncherModel& model, QQuickWindow& window, Clock clock = {});
  ~FrameLoop() override;

  // Runs frames until the loop ends.
  void run();
  // One iteration now.
  void frame();
  // Asks for a frame as soon as the current event is handled (UI thread).
  void request_frame();
  // Thread-safe: wakes the loop for a frame; usable after the loop is gone.
  std::function<void()> waker() const;
  // Whether frames currently run at the display rate.
  bool animating() const;
  bool finished() const { return finished_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void finish();

  LauncherModel& model_;
  LauncherVM& vm_;
  QQuickWindow& window_;
  Clock clock_;
  QEventLoop loop_;
  QTimer soon_;
  QTimer display_rate_;
  QTimer idle_;
  bool close_requested_ = false;
  bool finished_ = false;
  std::shared_ptr<QueuedRelay> relay_;
};

}  // namespace zelvo::launcher
