#pragma once

#include <string>

namespace zelvo::launcher::test {

// A fresh folder under the system temp folder, removed with its content.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + rel
  std::string file(const std::string& rel) const;

 private:
  std::string path_;
};

// Writes data to path (creating parent folders); fails the test on error.
void write_text_file(const std::string& path, const std::string& data);
// The whole content of path, or "" when it cannot be read.
std::string read_text_file(const std::string& path);
// Anything at path, a dangling symbolic link too.
bool path_exists(const std::string& path);

}  // namespace zelvo::launcher::test
