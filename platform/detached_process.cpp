#include "platform/detached_process.hpp"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>

extern char** environ;

namespace zelvo::launcher {

namespace {

// Dispositions a launcher thread may have changed (curl, the toolkit) that a
// child must not inherit.
constexpr int kResetSignals[] = {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM,
                                 SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM};

class SpawnAttributes {
 public:
  SpawnAttributes() {
    ::posix_spawnattr_init(&attr_);
    ::posix_spawn_file_actions_init(&actions_);
  }
  ~SpawnAttributes() {
    ::posix_spawn_file_actions_destroy(&actions_);
    ::posix_spawnattr_destroy(&attr_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  int prepare(const std::string& working_dir) {
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : kResetSignals) sigaddset(&defaults, sig);
    int rc = ::posix_spawnattr_setflags(
        &attr_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (rc == 0) rc = ::posix_spawnattr_setsigmask(&attr_, &none);
    if (rc == 0) rc = ::posix_spawnattr_setsigdefault(&attr_, &defaults);
    if (rc == 0 && !working_dir.empty()) {
      rc = ::posix_spawn_file_actions_addchdir_np(&actions_, working_dir.c_str());
    }
    return rc;
  }

  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
};

void reap_in_background(pid_t pid) {
  try {
    std::thread([pid] {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // Without a thread the child stays a zombie until the launcher exits.
  }
}

}  // namespace

int spawn_detached(const std::vector<std::string>& argv, const std::string& working_dir,
                   bool search_path, pid_t& pid) {
  if (argv.empty() || argv.front().empty()) return ENOENT;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  SpawnAttributes spawn;
  int rc = spawn.prepare(working_dir);
  if (rc != 0) return rc;
  // glibc reports a failed chdir or exec of the child as the return value.
  rc = search_path ? ::posix_spawnp(&pid, args[0], &spawn.actions_, &spawn.attr_, args.data(), environ)
                   : ::posix_spawn(&pid, args[0], &spawn.actions_, &spawn.attr_, args.data(), environ);
  if (rc != 0) return rc;
  reap_in_background(pid);
  return 0;
}

}  // namespace zelvo::launcher
