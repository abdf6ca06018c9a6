#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zelvo::launcher {

struct ManifestOptions {
  std::string game_dir;
  std::string base_url;               // written as "base_url" when not empty
  std::vector<std::string> protect;   // globs of files marked "protected"
  std::vector<std::string> optional;  // globs of files marked "optional" (wins over protect)
};

struct HashProgress {
  std::int64_t files_done = 0;
  std::int64_t files_total = 0;
  std::int64_t bytes_done = 0;
  std::int64_t bytes_total = 0;
};
using HashProgressFn = std::function<void(const HashProgress&)>;

// files.json for the folder: every regular file except the launcher's own
// state files, sorted by relative path in byte order. progress (may be empty)
// is called before the first and after every hashed file. False with a
// one-line English reason; text is then untouched.
bool build_manifest(const ManifestOptions& options, const HashProgressFn& progress,
                    std::string& text, std::string& error);

struct UpdateOptions {
  std::string tag;
  std::string version;  // dotted numbers, such as 0.48 or 1.2.3
  std::string url;
  std::string file;     // the launcher build whose digest is published
  std::string into;     // existing update.json to merge into, or empty
};

// update.json with the entry for options.tag (other entries of the merged
// document are kept as they are). False with a one-line English reason.
bool build_update(const UpdateOptions& options, std::string& text, std::string& error);

// Relative paths the manifest never lists: the launcher writes them itself.
bool is_launcher_state_file(const std::string& relative_path);

}  // namespace zelvo::launcher
