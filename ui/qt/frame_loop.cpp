#include "ui/qt/frame_loop.hpp"

#include <QEvent>
#include <QQuickWindow>
#include <QScreen>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "ui/launcher_vm.hpp"
#include "ui/qt/launcher_model.hpp"
#include "ui/qt/queued_relay.hpp"

namespace zelvo::launcher {

namespace {

std::int64_t steady_now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int frame_interval_ms(const QQuickWindow& window) {
  const QScreen* screen = window.screen();
  const double rate = screen ? screen->refreshRate() : 0.0;
  if (rate < 1.0) return 16;
  return std::clamp(static_cast<int>(std::lround(1000.0 / rate)), 4, 50);
}

bool is_input_or_window_event(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::InputMethod:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchEnd:
    case QEvent::Expose:
    case QEvent::Resize:
    case QEvent::WindowStateChange:
    case QEvent::FocusIn:
    case QEvent::Close:
      return true;
    default:
      return false;
  }
}

}  // namespace

FrameLoop::FrameLoop(LauncherModel& model, QQuickWindow& window, Clock clock)
    : model_(model),
      vm_(model.vm()),
      window_(window),
      clock_(clock ? std::move(clock) : Clock(steady_now_ns)) {
  soon_.setSingleShot(true);
  soon_.setInterval(0);
  connect(&soon_, &QTimer::timeout, this, &FrameLoop::frame);
  display_rate_.setTimerType(Qt::PreciseTimer);
  connect(&display_rate_, &QTimer::timeout, this, &FrameLoop::frame);
  idle_.setSingleShot(true);
  idle_.setInterval(kIdleWaitMs);
  connect(&idle_, &QTimer::timeout, this, &FrameLoop::frame);

  connect(&model_, &LauncherModel::frame_wanted, this, &FrameLoop::request_frame);
  window_.installEventFilter(this);
  relay_ = std::make_shared<QueuedRelay>(this, [this] { request_frame(); });
}

FrameLoop::~FrameLoop() { relay_->detach(); }

void FrameLoop::run() {
  if (finished_) return;
  request_frame();
  loop_.exec();
}

void FrameLoop::request_frame() {
  if (!finished_ && !soon_.isActive()) soon_.start();
}

std::function<void()> FrameLoop::waker() const {
  return [relay = relay_] { relay->post(); };
}

bool FrameLoop::animating() const {
  const bool busy_overlay = vm_.overlay_visible && !vm_.is_error;
  return busy_overlay || vm_.log_status_frames > 0 || vm_.show_logs;
}

void FrameLoop::frame() {
  if (finished_) return;
  if (vm_.quit_requested) {
    finish();
    return;
  }
  // A handler waiting in a modal dialog runs a nested event loop; the frame
  // comes when the handler returns (it asks for one), as after any event.
  if (model_.in_event()) return;
  // Qt Quick renders the document on its own whenever this changed it.
  sync_frame(vm_, clock_());
  if (close_requested_) {
    finish();
    return;
  }
  if (vm_.quit_requested) {
    request_frame();
    return;
  }
  if (animating()) {
    idle_.stop();
    if (!display_rate_.isActive()) display_rate_.start(frame_interval_ms(window_));
  } else {
    display_rate_.stop();
    idle_.start();
  }
}

void FrameLoop::finish() {
  finished_ = true;
  soon_.stop();
  display_rate_.stop();
  idle_.stop();
  loop_.quit();
}

bool FrameLoop::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close) close_requested_ = true;
  if (is_input_or_window_event(event->type())) request_frame();
  return QObject::eventFilter(watched, event);
}

}  // namespace zelvo::launcher
