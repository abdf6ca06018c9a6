#include "app/helpers.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace zelvo::launcher {

std::string join_url(const std::string& base, const std::string& rel) {
  if (base.empty()) return rel;
  if (base.back() == '/') {
    if (!rel.empty() && rel.front() == '/') return base + rel.substr(1);
    return base + rel;
  }
  if (rel.empty()) return base;
  if (rel.front() == '/') return base + rel;
  return base + "/" + rel;
}

std::string join_path(const std::string& base, const std::string& rel) {
  if (base.empty()) return rel;
  std::string tail = rel;
  for (char& c : tail) {
    if (c == '\\') c = '/';
  }
  const char last = base.back();
  if (last == '/' || last == '\\') return base + tail;
  return base + "/" + tail;
}

std::string add_time_query(const std::string& url) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
  return url + (url.find('?') == std::string::npos ? "?t=" : "&t=") + std::to_string(ms);
}

std::string size_text(std::int64_t bytes) {
  if (bytes < 0) bytes = 0;
  char buffer[64];
  const double gib = static_cast<double>(bytes) / 1073741824.0;
  if (gib >= 1.0) {
    std::snprintf(buffer, sizeof buffer, "%.1f ГБ", gib);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.0f МБ", static_cast<double>(bytes) / 1048576.0);
  }
  return buffer;
}

std::string exe_path() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0) return {};
  path.resize(static_cast<std::size_t>(n));
  return path;
}

std::string exe_dir() {
  const std::string path = exe_path();
  const std::size_t cut = path.find_last_of("/\\");
  if (cut == std::string::npos) return path;
  if (cut == 0) return "/";
  return path.substr(0, cut);
}

void remove_old_executable() {
  const std::string path = exe_path();
  if (!path.empty()) ::unlink((path + ".old").c_str());
}

bool drive_present(const std::string& path) {
  // "Q:/Games" or "D:\games" from a Windows launcher.json: no such drive here.
  if (path.size() >= 2 && path[1] == ':') return false;
  return true;
}

bool is_usable_game_dir(const std::string& path) {
  return !path.empty() && drive_present(path);
}

void create_directories(const std::string& path) {
  std::string prefix;
  prefix.reserve(path.size());
  for (char c : path) {
    // Only '/' separates folders here; a backslash is part of a Linux file name.
    if (c == '/' && !prefix.empty() && prefix != "/") {
      ::mkdir(prefix.c_str(), 0755);
    }
    prefix += c;
  }
  if (!prefix.empty()) ::mkdir(prefix.c_str(), 0755);
}

std::string errno_text(int error_number) {
  char buffer[256];
  // GNU strerror_r returns the text, which may not live in buffer.
  const char* text = ::strerror_r(error_number, buffer, sizeof buffer);
  return text ? std::string(text) : std::string("error ") + std::to_string(error_number);
}

}  // namespace zelvo::launcher
