#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace zelvo::launcher {

// Key of the integrity digest and the record scramble of verify_cache.bin.
inline constexpr const char* kVerifyCacheKey = "zelvo/check-stores/v7/3b8e0d52";

// Digests of the game files keyed by manifest path, valid while a file keeps
// its size and last-write time; stored in z/verify_cache.bin.
class VerifyCache {
 public:
  struct Record {
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    std::string md5;
    bool seen = false;
  };

  // Loads path at once; a missing or bad file gives an empty cache.
  explicit VerifyCache(std::string path);

  std::string digest_for(const std::string& entry_path, const std::string& local_file);
  // As above, for a caller that has just read the file's size and last-write time.
  std::string digest_for(const std::string& entry_path, const std::string& local_file,
                         std::int64_t size, std::int64_t mtime);
  void record_download(const std::string& entry_path, const std::string& local_file,
                       const std::string& digest);
  void prune_unseen();
  // Writes the file when it changed; true when nothing was needed or the write succeeded.
  bool save();

  const std::map<std::string, Record>& records() const { return records_; }
  bool dirty() const { return dirty_; }

 private:
  void load();
  void reset(const char* reason);

  std::string path_;
  std::map<std::string, Record> records_;
  bool dirty_ = false;
};

}  // namespace zelvo::launcher
