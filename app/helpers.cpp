#include "app/helpers.hpp"

#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <clocale>
#include <cstring>

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
  // to_chars ignores the process locale, which the window toolkit sets from the
  // environment (a Russian locale would print "1,5").
  char buffer[64];
  const double gib = static_cast<double>(bytes) / 1073741824.0;
  const bool in_gib = gib >= 1.0;
  const double value = in_gib ? gib : static_cast<double>(bytes) / 1048576.0;
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::fixed, in_gib ? 1 : 0);
  return std::string(buffer, result.ptr) + (in_gib ? " ГБ" : " МБ");
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
  // Only '/' separates here; /proc gives the kernel's path.
  const std::size_t cut = path.rfind('/');
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
  // The C locale keeps the text English whatever locale the toolkit set.
  static const locale_t c_locale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
  const char* text = c_locale ? ::strerror_l(error_number, c_locale) : nullptr;
  return text ? std::string(text) : "error " + std::to_string(error_number);
}

}  // namespace zelvo::launcher
