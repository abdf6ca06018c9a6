// Timing of the game-file digests and of the verify-cache check against
// coreutils md5sum on the same data. Prints figures; run by scripts/bench-files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/helpers.hpp"
#include "files/file_digest.hpp"
#include "files/verify_cache.hpp"

namespace fs = std::filesystem;
using namespace zelvo::launcher;

namespace {

constexpr std::int64_t kMiB = 1 << 20;
constexpr std::int64_t kGiB = 1024 * kMiB;
constexpr int kRounds = 5;

struct Random {
  std::uint64_t state;
  std::uint64_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
};

// Incompressible content, so neither the disk nor the page cache gets an easy ride.
bool write_random_file(const std::string& path, std::int64_t size, Random& rng) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::vector<std::uint64_t> block(kMiB / 8);
  std::int64_t left = size;
  while (left > 0) {
    for (auto& word : block) word = rng.next();
    const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, kMiB));
    if (std::fwrite(block.data(), 1, n, f) != n) {
      std::fclose(f);
      return false;
    }
    left -= static_cast<std::int64_t>(n);
  }
  return std::fclose(f) == 0;
}

double seconds_of(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool run_shell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Bytes this process has read through read(2) so far.
long long bytes_read_by_process() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

struct Pair {
  double ours = 1e9;
  double reference = 1e9;
};

// Alternates the two contenders and keeps the best time of each.
Pair best_of(const std::function<void()>& ours, const std::function<void()>& reference) {
  Pair best;
  for (int round = 0; round < kRounds; ++round) {
    best.ours = std::min(best.ours, seconds_of(ours));
    best.reference = std::min(best.reference, seconds_of(reference));
  }
  return best;
}

int single_file(const std::string& root, Random& rng) {
  const std::string path = root + "/one.bin";
  std::printf("(a) md5_file of a 1 GiB file against md5sum\n");
  if (!write_random_file(path, kGiB, rng)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  const std::string md5sum = "md5sum " + quoted(path) + " > /dev/null";
  std::string digest;
  digest = md5_file(path);  // warms the page cache
  if (!run_shell(md5sum)) return 1;
  const Pair t = best_of([&] { digest = md5_file(path); }, [&] { run_shell(md5sum); });
  std::printf("    md5_file %.3f s (%.0f MiB/s), md5sum %.3f s (%.0f MiB/s), ratio %.3f (target <= 1.0)\n",
              t.ours, 1024 / t.ours, t.reference, 1024 / t.reference, t.ours / t.reference);
  fs::remove(path);
  return 0;
}

int installation(const std::string& root, Random& rng) {
  constexpr int kFiles = 20000;
  constexpr int kPerFolder = 100;
  const std::string game = root + "/game";

  // Sizes from 1 KiB up, scaled so the whole set is exactly 2 GiB.
  std::vector<std::int64_t> sizes(kFiles);
  std::int64_t sum = 0;
  for (auto& s : sizes) {
    s = 1024 + static_cast<std::int64_t>(rng.next() % (200 * 1024));
    sum += s;
  }
  std::int64_t total = 0;
  for (auto& s : sizes) {
    s = std::max<std::int64_t>(1, s * (2 * kGiB) / sum);
    total += s;
  }
  sizes.back() += 2 * kGiB - total;

  std::vector<std::string> rel(kFiles);
  std::string list;
  for (int i = 0; i < kFiles; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "data%03d/file%05d.bin", i / kPerFolder, i);
    rel[i] = name;
    if (i % kPerFolder == 0) fs::create_directories(game + "/" + rel[i].substr(0, 7));
    if (!write_random_file(game + "/" + rel[i], sizes[i], rng)) {
      std::fprintf(stderr, "cannot write %s\n", rel[i].c_str());
      return 1;
    }
    list += game + "/" + rel[i];
    list += '\0';
  }
  const std::string list_path = root + "/list";
  std::ofstream(list_path, std::ios::binary) << list;
  const std::string md5sum = "xargs -0 -a " + quoted(list_path) + " md5sum > /dev/null";
  const std::string cache_path = root + "/verify_cache.bin";

  auto check = [&](VerifyCache& cache) {
    int mismatches = 0;
    for (const std::string& r : rel) {
      const std::string local = join_path(game, r);
      if (!file_exists(local) || cache.digest_for(r, local).empty()) ++mismatches;
    }
    return mismatches;
  };

  std::printf("(b) fresh check of %d files, 2 GiB, against md5sum over the same files\n", kFiles);
  if (!run_shell(md5sum)) return 1;  // warms the page cache
  int failures = 0;
  const Pair t = best_of(
      [&] {
        fs::remove(cache_path);
        VerifyCache cache(cache_path);
        failures += check(cache);
      },
      [&] { run_shell(md5sum); });
  std::printf("    check %.3f s, md5sum %.3f s, ratio %.3f (target <= 1.2)%s\n", t.ours, t.reference,
              t.ours / t.reference, failures ? "  FILES NOT HASHED" : "");

  std::printf("(c) check of the unchanged installation with a warm cache\n");
  {
    VerifyCache cache(cache_path);
    check(cache);
    cache.prune_unseen();
    cache.save();
  }
  double best = 1e9;
  long long read_during = 0;
  bool recomputed = false;
  for (int round = 0; round < kRounds; ++round) {
    const long long before = bytes_read_by_process();
    best = std::min(best, seconds_of([&] {
      VerifyCache cache(cache_path);
      check(cache);
      cache.prune_unseen();
      recomputed = recomputed || cache.dirty();
      cache.save();
    }));
    read_during = std::max(read_during, bytes_read_by_process() - before);
  }
  std::printf("    whole check phase (load, %d look-ups, prune, save) %.3f s (target < 1 s)\n", kFiles,
              best);
  std::printf("    bytes read in one run: %lld (cache file %lld bytes), records recomputed: %s\n",
              read_during, static_cast<long long>(fs::file_size(cache_path)), recomputed ? "yes" : "no");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string base = argc > 1 ? argv[1] : fs::temp_directory_path().string();
  std::string root = base + "/zelvo-files-bench-XXXXXX";
  if (!::mkdtemp(root.data())) {
    std::fprintf(stderr, "cannot create a folder under %s\n", base.c_str());
    return 1;
  }
  Random rng{0x9e3779b97f4a7c15ull};
  int rc = single_file(root, rng);
  if (rc == 0) rc = installation(root, rng);
  std::error_code ec;
  fs::remove_all(root, ec);
  return rc;
}
