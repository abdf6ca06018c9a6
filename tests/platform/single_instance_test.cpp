#include "platform/single_instance.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/detached_process.hpp"
#include "tests/support/temp_dir.hpp"

extern char** environ;

namespace zelvo::launcher {
namespace {

using test::TempDir;
using Clock = std::chrono::steady_clock;

// single_instance_probe as a child with pipes on its stdin and stdout.
class Probe {
 public:
  explicit Probe(const std::vector<std::string>& args) {
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
      ADD_FAILURE() << "pipe";
      return;
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<std::string> all{ZELVO_SINGLE_INSTANCE_PROBE};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    if (rc != 0) {
      ADD_FAILURE() << "cannot start the probe";
      pid_ = -1;
    }
  }

  ~Probe() {
    close_stdin();
    if (pid_ > 0 && !exit_code_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) ::close(stdout_);
  }

  // Waits for the next output line; "" on time-out or end of output.
  std::string next_line(int timeout_ms = 5000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      const std::size_t eol = buffer_.find('\n');
      if (eol != std::string::npos) {
        std::string line = buffer_.substr(0, eol);
        buffer_.erase(0, eol + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return {};
      pollfd pfd{stdout_, POLLIN, 0};
      if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) return {};
      char chunk[256];
      const ssize_t n = ::read(stdout_, chunk, sizeof chunk);
      if (n <= 0) return {};
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  // Nothing printed and still running after ms.
  bool silent_for(int ms) {
    pollfd pfd{stdout_, POLLIN, 0};
    return buffer_.empty() && ::poll(&pfd, 1, ms) == 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0;
  }

  void close_stdin() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
  }

  // Exit code, or -1 when the probe did not end normally within 5 s.
  int wait_exit() {
    if (exit_code_) return *exit_code_;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return *exit_code_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  void kill_hard() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    exit_code_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  std::string buffer_;
  std::optional<int> exit_code_;
};

TEST(SingleInstanceTest, SecondLauncherExitsZeroAndBringsFirstToFront) {
  TempDir dir;
  Probe first({dir.path()});
  ASSERT_EQ(first.next_line(), "owner");

  Probe second({dir.path()});
  EXPECT_EQ(second.next_line(), "other");
  EXPECT_EQ(second.wait_exit(), 0);
  EXPECT_EQ(first.next_line(), "raised");
}

TEST(SingleInstanceTest, UpdatedCopyWaitsForThePreviousOwnerAndTakesOver) {
  TempDir dir;
  Probe old_launcher({dir.path()});
  ASSERT_EQ(old_launcher.next_line(), "owner");

  Probe updated({dir.path(), "--updated"});
  EXPECT_TRUE(updated.silent_for(300)) << "the updated copy must wait while the old one runs";
  old_launcher.close_stdin();
  EXPECT_EQ(old_launcher.wait_exit(), 0);
  ASSERT_EQ(updated.next_line(), "owner");

  // The new owner serves the come-to-front channel itself.
  Probe third({dir.path()});
  EXPECT_EQ(third.next_line(), "other");
  EXPECT_EQ(third.wait_exit(), 0);
  EXPECT_EQ(updated.next_line(), "raised");
}

TEST(SingleInstanceTest, LockOfAKilledLauncherIsFree) {
  TempDir dir;
  Probe crashed({dir.path()});
  ASSERT_EQ(crashed.next_line(), "owner");
  crashed.kill_hard();

  Probe next({dir.path()});
  ASSERT_EQ(next.next_line(), "owner");
  Probe another({dir.path()});
  EXPECT_EQ(another.next_line(), "other");
  EXPECT_EQ(next.next_line(), "raised") << "a stale socket file must not block the channel";
}

TEST(SingleInstanceTest, WaitRunsOutWhileTheOwnerStaysAndThenAsksItToComeForward) {
  TempDir dir;
  SingleInstance owner(dir.path());
  ASSERT_EQ(owner.acquire(0), SingleInstance::Outcome::Owner);
  std::atomic<int> raised{0};
  ASSERT_TRUE(owner.listen([&] { ++raised; }));

  SingleInstance waiting(dir.path());
  const auto start = Clock::now();
  EXPECT_EQ(waiting.acquire(200), SingleInstance::Outcome::OtherInstance);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(200));
  for (int i = 0; i < 200 && raised == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(raised, 1);
}

TEST(SingleInstanceTest, StartedProgramsDoNotKeepTheLock) {
  TempDir dir;
  pid_t child = 0;
  {
    SingleInstance owner(dir.path());
    ASSERT_EQ(owner.acquire(0), SingleInstance::Outcome::Owner);
    // The game and an updated launcher are started while the lock is held.
    ASSERT_EQ(spawn_detached({"/bin/sleep", "30"}, dir.path(), false, child), 0);
  }
  SingleInstance next(dir.path());
  EXPECT_EQ(next.acquire(0), SingleInstance::Outcome::Owner);
  ::kill(child, SIGKILL);
}

TEST(SingleInstanceTest, RuntimeFolderComesFromXdgElsePrivateTmpFolder) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::optional<std::string> restore = saved ? std::optional<std::string>(saved) : std::nullopt;
  TempDir xdg;

  ::setenv("XDG_RUNTIME_DIR", xdg.path().c_str(), 1);
  EXPECT_EQ(SingleInstance().lock_path(), xdg.path() + "/ZelvoLauncher_SingleInstance_Mutex");

  ::unsetenv("XDG_RUNTIME_DIR");
  const std::string fallback = "/tmp/zelvo-launcher-" + std::to_string(::geteuid());
  SingleInstance instance;
  EXPECT_EQ(instance.lock_path(), fallback + "/ZelvoLauncher_SingleInstance_Mutex");
  struct stat st {};
  ASSERT_EQ(::stat(fallback.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(instance.socket_path().substr(0, fallback.size() + 1), fallback + "/");

  if (restore) ::setenv("XDG_RUNTIME_DIR", restore->c_str(), 1);
}

}  // namespace
}  // namespace zelvo::launcher
