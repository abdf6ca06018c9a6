#include "platform/single_instance.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

namespace zelvo::launcher {

namespace {

constexpr const char* kLockName = "ZelvoLauncher_SingleInstance_Mutex";
constexpr const char* kSocketName = "ZelvoLauncher_SingleInstance.sock";
constexpr const char kRaiseRequest[] = "raise\n";
constexpr int kPollStepMs = 50;
// The owner opens its channel just after taking the lock; a second instance
// started in that moment retries for a little while.
constexpr int kConnectRetryMs = 500;
constexpr int kRequestReadMs = 1000;

bool is_private_folder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 077) == 0;
}

// XDG_RUNTIME_DIR, else /tmp/zelvo-launcher-<uid>, which must be ours and
// closed to others (anyone can create names in /tmp). Empty when unusable.
std::string default_runtime_dir() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg != nullptr && xdg[0] == '/') {
    struct stat st {};
    if (::stat(xdg, &st) == 0 && S_ISDIR(st.st_mode)) return xdg;
  }
  const std::string dir = "/tmp/zelvo-launcher-" + std::to_string(::geteuid());
  ::mkdir(dir.c_str(), 0700);
  return is_private_folder(dir) ? dir : std::string();
}

bool make_address(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size());
  return true;
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void send_raise_request(const std::string& socket_path) {
  sockaddr_un address{};
  if (!make_address(socket_path, address)) return;
  for (int waited = 0;; waited += kPollStepMs) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      ::send(fd, kRaiseRequest, sizeof kRaiseRequest - 1, MSG_NOSIGNAL);
      ::close(fd);
      return;
    }
    ::close(fd);
    if (waited >= kConnectRetryMs) return;
    sleep_ms(kPollStepMs);
  }
}

// True when the connection carries a raise request within the read time-out.
bool read_raise_request(int fd) {
  std::string received;
  const std::size_t wanted = sizeof kRaiseRequest - 1;
  while (received.size() < wanted) {
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, kRequestReadMs) <= 0) return false;
    char buffer[16];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    received.append(buffer, static_cast<std::size_t>(n));
  }
  return received.compare(0, wanted, kRaiseRequest) == 0;
}

}  // namespace

struct SingleInstance::Impl {
  int lock_fd = -1;
  bool owner = false;
  int listen_fd = -1;
  int wake[2] = {-1, -1};
  std::thread server;

  void serve(const std::function<void()>& on_raise) {
    for (;;) {
      pollfd fds[2] = {{listen_fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents != 0) return;
      if (fds[0].revents == 0) continue;
      const int client = ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      const bool raise = read_raise_request(client);
      ::close(client);
      if (raise) on_raise();
    }
  }
};

SingleInstance::SingleInstance(std::string runtime_dir) : impl_(std::make_unique<Impl>()) {
  if (runtime_dir.empty()) runtime_dir = default_runtime_dir();
  if (runtime_dir.empty()) return;
  if (runtime_dir.size() > 1 && runtime_dir.back() == '/') runtime_dir.pop_back();
  lock_path_ = runtime_dir + "/" + kLockName;
  socket_path_ = runtime_dir + "/" + kSocketName;
}

SingleInstance::~SingleInstance() {
  if (impl_->server.joinable()) {
    const char stop = 1;
    while (::write(impl_->wake[1], &stop, 1) < 0 && errno == EINTR) {
    }
    impl_->server.join();
  }
  for (int fd : impl_->wake) {
    if (fd >= 0) ::close(fd);
  }
  if (impl_->listen_fd >= 0) {
    ::close(impl_->listen_fd);
    // Removed while the lock is still held, so it is never a successor's socket.
    ::unlink(socket_path_.c_str());
  }
  if (impl_->lock_fd >= 0) ::close(impl_->lock_fd);
}

SingleInstance::Outcome SingleInstance::acquire(int wait_ms) {
  if (impl_->owner) return Outcome::Owner;
  if (lock_path_.empty()) return Outcome::Owner;
  const int fd = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Outcome::Owner;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      impl_->lock_fd = fd;
      impl_->owner = true;
      return Outcome::Owner;
    }
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      // A lock that cannot work must not keep the user from the launcher.
      ::close(fd);
      return Outcome::Owner;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    sleep_ms(kPollStepMs);
  }
  ::close(fd);
  send_raise_request(socket_path_);
  return Outcome::OtherInstance;
}

bool SingleInstance::listen(std::function<void()> on_raise) {
  if (!impl_->owner || impl_->listen_fd >= 0 || !on_raise) return false;
  sockaddr_un address{};
  if (!make_address(socket_path_, address)) return false;
  // Only the lock owner binds, so a socket file left here belongs to a
  // launcher that has ended.
  ::unlink(socket_path_.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 4) != 0 || ::pipe2(impl_->wake, O_CLOEXEC) != 0) {
    ::close(fd);
    ::unlink(socket_path_.c_str());
    return false;
  }
  impl_->listen_fd = fd;
  try {
    impl_->server = std::thread([impl = impl_.get(), callback = std::move(on_raise)] {
      impl->serve(callback);
    });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

}  // namespace zelvo::launcher
