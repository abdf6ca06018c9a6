#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/core_status.hpp"
#include "core/status_report.hpp"
#include "net/cdn_config.hpp"
#include "net/server_entry.hpp"

namespace zelvo::launcher {

class IHttpClient;
class IPlatform;

// The controller: one worker thread running network and file jobs in posting
// order, and the state those jobs publish to the UI.
//
// Locking: state_mutex_ guards the status and the shared data, job_mutex_ the
// queue; the two are never held together and neither is held across a job,
// a network call, a log call or the change listener.
//
// Every writer of the status, the server list (servers_, servers_changed_) or
// the update offer (update_available_, update_version_, update_url_,
// update_md5_) calls notify_change() after releasing state_mutex_, so the
// window wakes at once. The status writes and store_servers() do it already.
class LauncherCore {
 public:
  using Job = std::function<void()>;
  using ChangeListener = std::function<void()>;

  LauncherCore(IHttpClient& client, IPlatform& platform, CdnConfig cdn = default_cdn_config());
  // Drains the queue and joins the worker. Must not run on the worker.
  ~LauncherCore();
  LauncherCore(const LauncherCore&) = delete;
  LauncherCore& operator=(const LauncherCore&) = delete;

  // --- UI thread ---------------------------------------------------------
  void start();
  void set_region(const std::string& region);
  void request_refresh();
  void request_reselect_host();
  void request_play(const std::string& nickname, const ServerEntry& server, bool restore_files);
  void request_self_update();
  void cancel();
  CoreStatus snapshot() const;
  bool take_servers(std::vector<ServerEntry>& out);
  std::string current_host() const;
  // Called (on the thread that made the change, with no lock of the core
  // held) after every change of the status, the server list or the update
  // offer. Must be cheap and never block; it may call snapshot(). Once this
  // returns, the previous listener is not running and is never called again,
  // so passing an empty one before the window goes away is safe. Must not be
  // called from inside the listener.
  void set_change_listener(ChangeListener listener);

  // --- jobs (worker thread) ----------------------------------------------
  void post_job(Job job);
  bool is_cancelled() const;

  void set_status(CorePhase phase, const std::string& message, float progress,
                  const std::string& detail);
  void set_ready(const std::string& message);
  void fail(const std::string& message);
  // Logs "ERROR detail: <detail>" (when not empty) before fail(message).
  void fail_with_detail(const std::string& detail, const std::string& message);
  // Stores a fetched server list (also an empty one) for take_servers().
  void store_servers(std::vector<ServerEntry> servers);

  bool select_host();
  bool ensure_host();
  void fetch_servers();
  void check_update();
  void run_self_update();
  void run_play(const std::string& nickname, const ServerEntry& server, bool restore_files);
  bool run_pending_move();

  // Progress reporters: false once cancel was requested (nothing is written).
  bool report_update_progress(std::int64_t received, std::int64_t total);
  bool report_download_progress(TransferCounters& counters, std::int64_t current_received);
  bool report_move_progress(std::int64_t moved, std::int64_t total, const std::string& total_text,
                            const std::string& file);

  const CdnConfig& cdn() const { return cdn_; }
  IHttpClient& client() { return *client_; }
  IPlatform& platform() { return *platform_; }

 private:
  void worker_loop();
  // Wakes the change listener; call with no lock held.
  void notify_change();
  // A job handed the launcher's work to another process (game or update).
  bool handed_over() const;
  // Writes the status fields; the caller holds state_mutex_.
  void write_status_locked(CorePhase phase, const std::string& message, float progress,
                           const std::string& detail);

  IHttpClient* client_;
  IPlatform* platform_;
  const CdnConfig cdn_;

  mutable std::mutex state_mutex_;
  CorePhase phase_ = CorePhase::Idle;
  std::string message_;
  float progress_ = 0.0f;
  std::string detail_;
  std::string status_host_;
  bool busy_ = false;
  bool servers_changed_ = false;
  bool update_available_ = false;
  std::string update_version_;
  std::vector<ServerEntry> servers_;
  std::string host_;
  std::string forced_region_;
  std::string update_url_;
  std::string update_md5_;

  std::mutex job_mutex_;
  std::condition_variable job_signal_;
  std::deque<Job> jobs_;
  bool stopping_ = false;

  std::atomic<bool> operation_running_{false};
  std::atomic<bool> cancel_requested_{false};

  // Speed of the launcher update download (worker thread only); the
  // self-update starts it right before its download.
  SpeedMeter update_speed_;

  // Guards the listener slot and the count of calls in flight, never held
  // while the listener runs.
  std::mutex listener_mutex_;
  std::condition_variable listener_idle_;
  std::shared_ptr<const ChangeListener> change_listener_;
  int listener_calls_ = 0;

  std::thread worker_;
};

}  // namespace zelvo::launcher
