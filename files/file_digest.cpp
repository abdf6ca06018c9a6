#include "files/file_digest.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include <openssl/evp.h>

namespace zelvo::launcher {

namespace {

constexpr std::size_t kChunk = 65536;

// Fetched once: an implicit fetch per digest costs a provider lookup, which
// adds up over a check of tens of thousands of files.
const EVP_MD* md5_algorithm() {
  static EVP_MD* fetched = EVP_MD_fetch(nullptr, "MD5", nullptr);
  return fetched ? fetched : EVP_md5();
}

struct CtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using Ctx = std::unique_ptr<EVP_MD_CTX, CtxFree>;

Ctx new_md5_context() {
  Ctx ctx(EVP_MD_CTX_new());
  if (ctx && EVP_DigestInit_ex(ctx.get(), md5_algorithm(), nullptr) != 1) ctx.reset();
  return ctx;
}

std::string finish_hex(EVP_MD_CTX* ctx) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx, digest, &length) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out(length * 2, '0');
  for (unsigned int i = 0; i < length; ++i) {
    out[2 * i] = kHex[digest[i] >> 4];
    out[2 * i + 1] = kHex[digest[i] & 0x0f];
  }
  return out;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string md5_file(const std::string& path) {
  // O_NONBLOCK so that a FIFO in the game folder cannot stall the check.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return {};
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  Ctx ctx = new_md5_context();
  if (!ctx) return {};
  thread_local std::vector<unsigned char> buffer(kChunk);
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<std::size_t>(n)) != 1) return {};
  }
  return finish_hex(ctx.get());
}

std::string md5_hex(const std::string& bytes) {
  Ctx ctx = new_md5_context();
  if (!ctx || EVP_DigestUpdate(ctx.get(), bytes.data(), bytes.size()) != 1) return {};
  return finish_hex(ctx.get());
}

bool file_stat(const std::string& path, std::int64_t& size, std::int64_t& mtime) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  size = static_cast<std::int64_t>(st.st_size);
  mtime = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  return true;
}

bool file_exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace zelvo::launcher
