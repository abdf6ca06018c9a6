#include "tests/support/log_capture.hpp"

#include <atomic>
#include <sstream>

#include "app/log.hpp"

namespace zelvo::launcher::test {

LogCapture::LogCapture() {
  static std::atomic<int> counter{0};
  marker_ = "test: capture marker " + std::to_string(counter.fetch_add(1));
  log_printf("%s", marker_.c_str());
}

std::vector<std::string> LogCapture::lines() const {
  std::vector<std::string> all;
  std::istringstream in(log_recent_text());
  std::string line;
  while (std::getline(in, line)) {
    // Each recent line starts with "[HH:MM:SS] ".
    all.push_back(line.size() >= 11 ? line.substr(11) : line);
  }
  std::vector<std::string> after;
  bool seen = false;
  for (const std::string& l : all) {
    if (l == marker_) {
      seen = true;
      after.clear();
      continue;
    }
    if (seen) after.push_back(l);
  }
  return after;
}

bool LogCapture::has(const std::string& text) const { return index_of(text) >= 0; }

bool LogCapture::contains(const std::string& part) const {
  for (const std::string& l : lines()) {
    if (l.find(part) != std::string::npos) return true;
  }
  return false;
}

int LogCapture::index_of(const std::string& text) const {
  const std::vector<std::string> all = lines();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i] == text) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace zelvo::launcher::test
