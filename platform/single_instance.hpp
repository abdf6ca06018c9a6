#pragma once

#include <functional>
#include <memory>
#include <string>

namespace zelvo::launcher {

// How long a launcher started with "--updated" waits for the previous one.
inline constexpr int kHandOverWaitMs = 10000;

// One launcher per user: an exclusive flock on
// "ZelvoLauncher_SingleInstance_Mutex" in the runtime folder, and a local
// socket beside it over which a second instance asks the first to come to
// the front. The kernel drops the lock when the owning process ends.
class SingleInstance {
 public:
  enum class Outcome {
    Owner,          // this process is the only launcher
    OtherInstance,  // another launcher runs; it was asked to come to the front
  };

  // runtime_dir: folder of the lock and the socket; empty means
  // XDG_RUNTIME_DIR, else a private folder under /tmp.
  explicit SingleInstance(std::string runtime_dir = {});
  // Stops the request thread and releases the lock (process exit does too).
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Takes the lock. With wait_ms > 0 (the "--updated" hand-over) it waits up
  // to that long for the previous owner to exit first. When another launcher
  // keeps the lock it is asked to come to the front. A lock that cannot be
  // set up at all counts as Owner, so the launcher still starts.
  Outcome acquire(int wait_ms);

  // Owner only: serves "come to front" requests on a background thread and
  // calls on_raise for each (on that thread) until destruction. Returns false
  // when the channel cannot be opened; the lock still holds.
  bool listen(std::function<void()> on_raise);

  const std::string& lock_path() const { return lock_path_; }
  const std::string& socket_path() const { return socket_path_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string lock_path_;
  std::string socket_path_;
};

}  // namespace zelvo::launcher
