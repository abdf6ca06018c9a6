#include "app/json_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace zelvo::launcher {

std::string dump_json_file_text(const nlohmann::json& value) {
  // Invalid UTF-8 in a value is replaced rather than thrown about.
  const std::string text = value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

namespace {

bool write_all(int fd, const std::string& data) {
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// mkostemp creates 0600: keep the mode of the file being replaced, or give a
// new file the usual 0644 (umask() is process-wide and racy to query).
mode_t file_mode_for(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
  return 0644;
}

}  // namespace

bool write_file_atomically(const std::string& path, const std::string& data) {
  if (path.empty()) return false;
  std::string temp = path + ".tmp-XXXXXX";
  // Close-on-exec: the game may be started from another thread meanwhile.
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = write_all(fd, data) && ::fsync(fd) == 0;
  ok = ok && ::fchmod(fd, file_mode_for(path)) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) {
    // Make the rename itself durable.
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
    return true;
  }
  ::unlink(temp.c_str());
  return false;
}

bool read_file(const std::string& path, std::string& data) {
  // Plain read(2): an ifstream on a folder throws from its stream buffer, and a
  // FIFO at this path must not block the caller.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  std::string text;
  text.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (ok) data = std::move(text);
  return ok;
}

}  // namespace zelvo::launcher
