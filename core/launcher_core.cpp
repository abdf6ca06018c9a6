#include "core/launcher_core.hpp"

#include <exception>
#include <utility>

#include "app/log.hpp"
#include "net/http_client.hpp"
#include "platform/platform.hpp"

namespace zelvo::launcher {

namespace {

bool is_busy_phase(CorePhase phase) {
  return phase != CorePhase::Idle && phase != CorePhase::Closing && phase != CorePhase::Error;
}

// Ends the operation even if its flow throws, so later Play and update
// requests are not ignored forever.
class OperationGuard {
 public:
  explicit OperationGuard(std::atomic<bool>& flag) : flag_(flag) {}
  ~OperationGuard() { flag_.store(false); }
  OperationGuard(const OperationGuard&) = delete;
  OperationGuard& operator=(const OperationGuard&) = delete;

 private:
  std::atomic<bool>& flag_;
};

}  // namespace

LauncherCore::LauncherCore(IHttpClient& client, IPlatform& platform, CdnConfig cdn)
    : client_(&client), platform_(&platform), cdn_(std::move(cdn)) {
  worker_ = std::thread([this] { worker_loop(); });
}

LauncherCore::~LauncherCore() {
  cancel_requested_.exchange(true);
  {
    std::lock_guard<std::mutex> lock(job_mutex_);
    stopping_ = true;
  }
  job_signal_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void LauncherCore::worker_loop() {
  std::unique_lock<std::mutex> lock(job_mutex_);
  for (;;) {
    job_signal_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    // Jobs report failures through the status; this only keeps a stray
    // exception from ending the process.
    try {
      job();
    } catch (const std::exception& e) {
      log_printf("core: job failed: %s", e.what());
    } catch (...) {
      log_printf("core: job failed: unknown exception");
    }
    job = nullptr;
    lock.lock();
  }
}

void LauncherCore::post_job(Job job) {
  {
    std::lock_guard<std::mutex> lock(job_mutex_);
    jobs_.push_back(std::move(job));
  }
  job_signal_.notify_all();
}

bool LauncherCore::is_cancelled() const { return cancel_requested_.load(); }

void LauncherCore::start() {
  post_job([this] {
    if (select_host()) {
      fetch_servers();
      check_update();
    }
  });
}

void LauncherCore::set_region(const std::string& region) {
  std::lock_guard<std::mutex> lock(state_mutex_);
  forced_region_ = region == "auto" ? std::string() : region;
}

void LauncherCore::request_refresh() {
  post_job([this] {
    if (ensure_host()) fetch_servers();
  });
}

void LauncherCore::request_reselect_host() {
  post_job([this] {
    {
      std::lock_guard<std::mutex> lock(state_mutex_);
      host_.clear();
    }
    if (select_host()) fetch_servers();
  });
}

void LauncherCore::request_play(const std::string& nickname, const ServerEntry& server,
                                bool restore_files) {
  // Between Closing and the window's last frame a click must not start the
  // game a second time.
  if (handed_over() || operation_running_.exchange(true)) return;
  cancel_requested_.exchange(false);
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    write_status_locked(CorePhase::Checking, "Готовим запуск...", 0.0f, "");
  }
  notify_change();
  post_job([this, nickname, server, restore_files] {
    OperationGuard guard(operation_running_);
    run_play(nickname, server, restore_files);
  });
}

void LauncherCore::request_self_update() {
  if (handed_over() || operation_running_.exchange(true)) return;
  cancel_requested_.exchange(false);
  post_job([this] {
    OperationGuard guard(operation_running_);
    run_self_update();
  });
}

bool LauncherCore::handed_over() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return phase_ == CorePhase::Closing;
}

void LauncherCore::cancel() {
  cancel_requested_.exchange(true);
  client_->cancel();
}

CoreStatus LauncherCore::snapshot() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  CoreStatus s;
  s.phase = phase_;
  s.message = message_;
  s.progress = progress_;
  s.detail = detail_;
  s.host = status_host_;
  s.busy = busy_;
  s.servers_changed = servers_changed_;
  s.update_available = update_available_;
  s.update_version = update_version_;
  return s;
}

bool LauncherCore::take_servers(std::vector<ServerEntry>& out) {
  std::lock_guard<std::mutex> lock(state_mutex_);
  if (!servers_changed_) return false;
  out = servers_;
  servers_changed_ = false;
  return true;
}

std::string LauncherCore::current_host() const {
  std::lock_guard<std::mutex> lock(state_mutex_);
  return host_;
}

bool LauncherCore::ensure_host() {
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    if (!host_.empty()) return true;
  }
  return select_host();
}

void LauncherCore::store_servers(std::vector<ServerEntry> servers) {
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    servers_ = std::move(servers);
    servers_changed_ = true;
  }
  notify_change();
}

void LauncherCore::set_change_listener(ChangeListener listener) {
  auto next = listener ? std::make_shared<const ChangeListener>(std::move(listener)) : nullptr;
  std::unique_lock<std::mutex> lock(listener_mutex_);
  change_listener_ = std::move(next);
  listener_idle_.wait(lock, [this] { return listener_calls_ == 0; });
}

void LauncherCore::notify_change() {
  std::shared_ptr<const ChangeListener> listener;
  {
    std::lock_guard<std::mutex> lock(listener_mutex_);
    if (!change_listener_) return;
    listener = change_listener_;
    ++listener_calls_;
  }
  (*listener)();
  {
    std::lock_guard<std::mutex> lock(listener_mutex_);
    --listener_calls_;
  }
  listener_idle_.notify_all();
}

void LauncherCore::write_status_locked(CorePhase phase, const std::string& message,
                                       float progress, const std::string& detail) {
  phase_ = phase;
  message_ = message;
  progress_ = progress;
  detail_ = detail;
  status_host_ = host_;
  busy_ = is_busy_phase(phase);
}

void LauncherCore::set_status(CorePhase phase, const std::string& message, float progress,
                              const std::string& detail) {
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    write_status_locked(phase, message, progress, detail);
  }
  notify_change();
}

void LauncherCore::set_ready(const std::string& message) {
  if (operation_running_.load()) return;
  set_status(CorePhase::Idle, message, 1.0f, "");
}

void LauncherCore::fail(const std::string& message) {
  log_printf("ERROR: %s", message.c_str());
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    write_status_locked(CorePhase::Error, message, 0.0f, detail_);
  }
  notify_change();
}

void LauncherCore::fail_with_detail(const std::string& detail, const std::string& message) {
  if (!detail.empty()) log_printf("ERROR detail: %s", detail.c_str());
  fail(message);
}

bool LauncherCore::report_update_progress(std::int64_t received, std::int64_t total) {
  if (is_cancelled()) return false;
  const double speed = update_speed_.sample(received, std::chrono::steady_clock::now());
  const float fraction = capped_fraction(
      total > 0 ? static_cast<float>(received) / static_cast<float>(total) : 0.0f);
  set_status(CorePhase::Downloading, "Загружаем обновление лаунчера...", fraction,
             format_transfer_detail(received, fraction, total, speed));
  return true;
}

bool LauncherCore::report_download_progress(TransferCounters& counters,
                                            std::int64_t current_received) {
  if (is_cancelled()) return false;
  const std::int64_t done = counters.completed + current_received;
  const double speed = counters.speed.sample(done, std::chrono::steady_clock::now());
  const float fraction = capped_fraction(
      counters.planned > 0 ? static_cast<float>(done) / static_cast<float>(counters.planned)
                           : counters.file_fraction);
  set_status(CorePhase::Downloading, "Загружаем файлы...", fraction,
             format_transfer_detail(done, fraction, counters.planned, speed));
  return true;
}

bool LauncherCore::report_move_progress(std::int64_t moved, std::int64_t total,
                                        const std::string& total_text, const std::string& file) {
  if (is_cancelled()) return false;
  const float fraction = capped_fraction(
      total > 0 ? static_cast<float>(moved) / static_cast<float>(total) : 0.0f);
  set_status(CorePhase::MovingFiles, "Перемещаем файлы игры...", fraction,
             format_move_detail(fraction, moved, total_text, file));
  return true;
}

}  // namespace zelvo::launcher
