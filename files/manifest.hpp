#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelvo::launcher {

// One listed game file.
struct ManifestEntry {
  std::string path;          // relative to the game folder, as written
  std::string md5;           // "" or "NONE": content not compared
  std::int64_t size = -1;    // -1 (or <= 0) when not given
  bool is_protected = false; // re-downloaded when modified, even with restore off
};

// files.json of one platform.
struct FileManifest {
  std::string base_url;
  std::vector<ManifestEntry> files;

  // Lenient parser; never fails (unusable input gives an empty manifest).
  static FileManifest parse(const std::string& text);
};

}  // namespace zelvo::launcher
