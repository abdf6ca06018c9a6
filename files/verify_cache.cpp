#include "files/verify_cache.hpp"

#include <cstring>
#include <string_view>

#include "app/json_file.hpp"
#include "app/log.hpp"
#include "files/file_digest.hpp"

namespace zelvo::launcher {

namespace {

constexpr std::string_view kMagic = "ZVC1";
constexpr std::size_t kDigestLength = 32;
constexpr std::size_t kHeaderLength = kMagic.size() + kDigestLength;

// The same XOR both hides and restores the record area.
void scramble(std::string& area) {
  const std::string_view key = kVerifyCacheKey;
  for (std::size_t i = 0; i < area.size(); ++i) {
    const auto k = static_cast<unsigned char>(key[i % key.size()]);
    const auto mask = static_cast<unsigned char>((31 * i + 90 + k) & 0xff);
    area[i] = static_cast<char>(static_cast<unsigned char>(area[i]) ^ mask);
  }
}

std::string integrity_digest(const std::string& plain) {
  const std::string key = kVerifyCacheKey;
  return md5_hex(key + plain + key);
}

void put_u32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

void put_i64(std::string& out, std::int64_t value) {
  const auto v = static_cast<std::uint64_t>(value);
  for (int i = 0; i < 8; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

void put_string(std::string& out, const std::string& s) {
  put_u32(out, static_cast<std::uint32_t>(s.size()));
  out += s;
}

// Reads the record area; once a read runs past the end, ok stays false and
// every further read yields 0 or "".
class Cursor {
 public:
  explicit Cursor(const std::string& data) : data_(data) {}
  bool ok() const { return ok_; }

  std::uint64_t unsigned_le(std::size_t width) {
    if (!ok_ || data_.size() - pos_ < width) {
      ok_ = false;
      return 0;
    }
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i) {
      v |= static_cast<std::uint64_t>(static_cast<unsigned char>(data_[pos_ + i])) << (8 * i);
    }
    pos_ += width;
    return v;
  }
  std::uint32_t u32() { return static_cast<std::uint32_t>(unsigned_le(4)); }
  std::int64_t i64() { return static_cast<std::int64_t>(unsigned_le(8)); }
  std::string str() {
    const std::uint32_t length = u32();
    if (!ok_ || data_.size() - pos_ < length) {
      ok_ = false;
      return {};
    }
    std::string s = data_.substr(pos_, length);
    pos_ += length;
    return s;
  }

 private:
  const std::string& data_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace

VerifyCache::VerifyCache(std::string path) : path_(std::move(path)) { load(); }

void VerifyCache::reset(const char* reason) {
  records_.clear();
  dirty_ = true;
  log_printf("verify cache: %s, rebuilding from disk", reason);
}

void VerifyCache::load() {
  std::string data;
  if (!read_file(path_, data)) return;
  if (data.size() < kHeaderLength || data.compare(0, kMagic.size(), kMagic) != 0) {
    reset("bad header");
    return;
  }
  const std::string stored = data.substr(kMagic.size(), kDigestLength);
  std::string plain = data.substr(kHeaderLength);
  data.clear();
  scramble(plain);
  if (integrity_digest(plain) != stored) {
    reset("integrity check failed");
    return;
  }

  Cursor cursor(plain);
  const std::uint32_t count = cursor.u32();
  for (std::uint32_t read = 0; cursor.ok() && read < count; ++read) {
    std::string entry_path = cursor.str();
    Record record;
    record.size = cursor.i64();
    record.mtime = cursor.i64();
    record.md5 = cursor.str();
    if (!cursor.ok()) break;
    if (!entry_path.empty() && !record.md5.empty()) {
      records_.insert_or_assign(std::move(entry_path), std::move(record));
    }
  }
  if (!cursor.ok()) reset("truncated payload");
}

std::string VerifyCache::digest_for(const std::string& entry_path, const std::string& local_file) {
  std::int64_t size = 0;
  std::int64_t mtime = 0;
  if (!file_stat(local_file, size, mtime)) return {};
  return digest_for(entry_path, local_file, size, mtime);
}

std::string VerifyCache::digest_for(const std::string& entry_path, const std::string& local_file,
                                    std::int64_t size, std::int64_t mtime) {
  const auto it = records_.find(entry_path);
  if (it != records_.end() && it->second.size == size && it->second.mtime == mtime) {
    it->second.seen = true;
    return it->second.md5;
  }
  std::string digest = md5_file(local_file);
  if (digest.empty()) return {};
  records_.insert_or_assign(entry_path, Record{size, mtime, digest, true});
  dirty_ = true;
  return digest;
}

void VerifyCache::record_download(const std::string& entry_path, const std::string& local_file,
                                  const std::string& digest) {
  std::int64_t size = 0;
  std::int64_t mtime = 0;
  if (digest.empty() || !file_stat(local_file, size, mtime)) return;
  records_.insert_or_assign(entry_path, Record{size, mtime, digest, true});
  dirty_ = true;
}

void VerifyCache::prune_unseen() {
  const std::size_t removed =
      std::erase_if(records_, [](const auto& item) { return !item.second.seen; });
  if (removed > 0) dirty_ = true;
}

bool VerifyCache::save() {
  if (!dirty_) return true;
  std::string plain;
  put_u32(plain, static_cast<std::uint32_t>(records_.size()));
  for (const auto& [entry_path, record] : records_) {
    put_string(plain, entry_path);
    put_i64(plain, record.size);
    put_i64(plain, record.mtime);
    put_string(plain, record.md5);
  }
  std::string file;
  file.reserve(kHeaderLength + plain.size());
  file += kMagic;
  file += integrity_digest(plain);
  scramble(plain);
  file += plain;
  // A crash mid-write must not leave a cut cache for the next run.
  if (!write_file_atomically(path_, file)) return false;
  dirty_ = false;
  return true;
}

}  // namespace zelvo::launcher
