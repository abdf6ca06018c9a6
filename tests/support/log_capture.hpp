#pragma once

#include <string>
#include <vector>

namespace zelvo::launcher::test {

// Collects the log lines written after its construction (from the process-wide
// recent-lines buffer), without their time stamps.
class LogCapture {
 public:
  LogCapture();
  std::vector<std::string> lines() const;
  // True when some line equals text exactly.
  bool has(const std::string& text) const;
  // True when some line contains part.
  bool contains(const std::string& part) const;
  // Index of the first line equal to text, or -1.
  int index_of(const std::string& text) const;

 private:
  std::string marker_;
};

}  // namespace zelvo::launcher::test
