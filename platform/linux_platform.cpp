#include "platform/linux_platform.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "app/helpers.hpp"
#include "app/log.hpp"
#include "platform/desktop_services.hpp"
#include "platform/detached_process.hpp"

namespace zelvo::launcher {

namespace {

bool is_directory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder part of path: "" for a bare name, "/" for a file in the root.
std::string parent_of(const std::string& path) {
  const std::size_t cut = path.find_last_of('/');
  if (cut == std::string::npos) return {};
  if (cut == 0) return "/";
  return path.substr(0, cut);
}

std::string trim_trailing_slashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Copies from to to (created 0755) for a move across file systems.
bool copy_file_contents(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ssize_t done = 0;
    while (ok && done < n) {
      const ssize_t w = ::write(out, buffer + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) ok = false;
      else done += w;
    }
    if (!ok) break;
  }
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (!ok) ::unlink(to.c_str());
  return ok;
}

bool move_file(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  if (!copy_file_contents(from, to)) return false;
  ::unlink(from.c_str());
  return true;
}

}  // namespace

LinuxPlatform::LinuxPlatform(std::string game_dir, std::string executable)
    : game_dir_(std::move(game_dir)), executable_(std::move(executable)) {}

void LinuxPlatform::set_desktop_services(IDesktopServices* services) { desktop_ = services; }

std::string LinuxPlatform::game_dir() const {
  std::lock_guard<std::mutex> lock(game_dir_mutex_);
  return game_dir_;
}

void LinuxPlatform::set_game_dir(const std::string& dir) {
  std::lock_guard<std::mutex> lock(game_dir_mutex_);
  game_dir_ = dir;
}

bool LinuxPlatform::pending_data_move(DataMovePlan&) { return false; }

int LinuxPlatform::run_data_move(const MoveProgressFn&, std::string&) { return 0; }

bool LinuxPlatform::ensure_parent_dir(const std::string& file_path) {
  const std::string folder = parent_of(file_path);
  if (folder.empty()) return true;
  create_directories(folder);
  // Unlike the drive-letter world a failure here is real (a file in the way,
  // no permission) and the caller reports it.
  return is_directory(folder);
}

std::int64_t LinuxPlatform::free_disk_space(const std::string& path) {
  // A folder that does not exist yet will live on the volume of its nearest
  // existing ancestor.
  std::string probe = trim_trailing_slashes(path);
  while (!probe.empty()) {
    struct statvfs vfs {};
    if (::statvfs(probe.c_str(), &vfs) == 0) {
      return static_cast<std::int64_t>(vfs.f_bavail) * static_cast<std::int64_t>(vfs.f_frsize);
    }
    if (probe == "/") break;
    const std::string parent = parent_of(probe);
    probe = parent.empty() ? (probe == "." ? std::string() : std::string(".")) : parent;
  }
  return -1;
}

std::string LinuxPlatform::pick_folder(const std::string& initial_folder) {
  if (desktop_ == nullptr) return {};
  std::string start = trim_trailing_slashes(initial_folder);
  while (!start.empty() && !is_directory(start)) {
    start = (start == "/") ? std::string() : parent_of(start);
  }
  std::string chosen = desktop_->pick_folder("Куда установить Zelvo Online?", start);
  for (char& c : chosen) {
    if (c == '\\') c = '/';
  }
  return chosen;
}

void LinuxPlatform::after_download(const std::string&) {}

void LinuxPlatform::remove_file(const std::string& path) { ::unlink(path.c_str()); }

std::string LinuxPlatform::platform_name() const { return "pc"; }

std::string LinuxPlatform::update_tag() const { return "linux"; }

std::string LinuxPlatform::update_file_path() const { return executable_ + ".update"; }

bool LinuxPlatform::apply_update(const std::string& new_executable) {
  struct stat st {};
  // Checked first so a missing download never leaves the launcher without
  // its executable, even for a moment.
  if (::stat(new_executable.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;

  const std::string old = executable_ + ".old";
  ::unlink(old.c_str());
  if (::rename(executable_.c_str(), old.c_str()) != 0) return false;
  if (!move_file(new_executable, executable_)) {
    ::rename(old.c_str(), executable_.c_str());
    return false;
  }
  ::chmod(executable_.c_str(), 0755);

  pid_t pid = 0;
  const int rc = spawn_detached({executable_, "--updated"}, parent_of(executable_), false, pid);
  if (rc != 0) {
    // The new executable is in place; the user can start it by hand.
    log_printf("update: cannot start %s: %s", executable_.c_str(), errno_text(rc).c_str());
  }
  return true;
}

bool LinuxPlatform::android_permission_1_granted() { return true; }

void LinuxPlatform::request_android_permission_1() {}

bool LinuxPlatform::android_permission_2_granted() { return true; }

void LinuxPlatform::request_android_permission_2() {}

bool LinuxPlatform::copy_to_clipboard(const std::string& text) {
  return desktop_ != nullptr && desktop_->copy_text(text);
}

bool LinuxPlatform::open_log_location(const std::string&) {
  if (desktop_ == nullptr) return false;
  const std::string folder = parent_of(executable_);
  if (folder.empty()) return desktop_->show_file("launcher.log");
  return desktop_->show_file(folder == "/" ? "/launcher.log" : folder + "/launcher.log");
}

}  // namespace zelvo::launcher
