#include "files/verify_cache.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "files/file_digest.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher {
namespace {

using test::LogCapture;
using test::read_text_file;
using test::TempDir;
using test::write_text_file;

// Independent of the code under test: OpenSSL's one-shot digest.
std::string reference_md5(const std::string& bytes) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), out, &length, EVP_md5(), nullptr);
  std::string hex;
  char two[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(two, sizeof two, "%02x", out[i]);
    hex += two;
  }
  return hex;
}

void set_mtime(const std::string& path, std::int64_t seconds) {
  const struct timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

struct Rec {
  std::string path;
  std::int64_t size;
  std::int64_t mtime;
  std::string md5;
};

void le(std::string& out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}

// The cache file written out by hand from its layout.
std::string cache_bytes(const std::vector<Rec>& recs, const std::string& key = kVerifyCacheKey,
                        std::optional<std::uint32_t> count = std::nullopt) {
  std::string plain;
  le(plain, count.value_or(static_cast<std::uint32_t>(recs.size())), 4);
  for (const Rec& r : recs) {
    le(plain, r.path.size(), 4);
    plain += r.path;
    le(plain, static_cast<std::uint64_t>(r.size), 8);
    le(plain, static_cast<std::uint64_t>(r.mtime), 8);
    le(plain, r.md5.size(), 4);
    plain += r.md5;
  }
  std::string out = "ZVC1" + reference_md5(key + plain + key);
  for (std::size_t i = 0; i < plain.size(); ++i) {
    const unsigned mask = (31u * static_cast<unsigned>(i) + 90u +
                           static_cast<unsigned char>(key[i % 30])) & 0xffu;
    out += static_cast<char>(static_cast<unsigned char>(plain[i]) ^ mask);
  }
  return out;
}

TEST(FileDigestTest, Md5OfBytesMatchesRfcVectors) {
  const std::vector<std::pair<std::string, std::string>> vectors = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [input, digest] : vectors) EXPECT_EQ(md5_hex(input), digest) << input;
}

TEST(FileDigestTest, FileDigestsAndStat) {
  TempDir dir;
  std::string big;
  for (int i = 0; i < 200000; ++i) big += static_cast<char>((i * 7919) >> 3);
  write_text_file(dir.file("big.bin"), big);
  write_text_file(dir.file("empty"), "");
  std::filesystem::create_directory(dir.file("folder"));

  EXPECT_EQ(md5_file(dir.file("big.bin")), reference_md5(big));
  EXPECT_EQ(md5_file(dir.file("empty")), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5_file(dir.file("missing")), "");
  EXPECT_EQ(md5_file(dir.file("folder")), "");

  set_mtime(dir.file("big.bin"), 1700000000);
  std::int64_t size = 0, mtime = 0;
  ASSERT_TRUE(file_stat(dir.file("big.bin"), size, mtime));
  EXPECT_EQ(size, 200000);
  EXPECT_EQ(mtime, 1700000000);
  EXPECT_FALSE(file_stat(dir.file("missing"), size, mtime));
  EXPECT_FALSE(file_stat(dir.file("folder"), size, mtime));

  EXPECT_TRUE(file_exists(dir.file("empty")));
  EXPECT_FALSE(file_exists(dir.file("missing")));
  EXPECT_FALSE(file_exists(dir.file("folder")));
}

TEST(FileDigestTest, FifoIsNotReadForADigest) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
  EXPECT_EQ(md5_file(dir.file("pipe")), "");
}

class VerifyCacheTest : public ::testing::Test {
 protected:
  std::string cache_path() const { return dir.file("z/verify_cache.bin"); }
  void add_file(const std::string& rel, const std::string& content, std::int64_t mtime) {
    write_text_file(dir.file(rel), content);
    set_mtime(dir.file(rel), mtime);
  }
  TempDir dir;
};

TEST_F(VerifyCacheTest, SavesTheExactLayoutInBytewisePathOrder) {
  std::filesystem::create_directories(dir.file("z"));
  add_file("a", "alpha", 1600000000);
  add_file("B", "bravo!", 1600000001);
  add_file("\xc3\xa9t\xc3\xa9", "summer", 1600000002);
  add_file("data/x.img", "", 1600000003);

  LogCapture log;
  VerifyCache cache(cache_path());
  EXPECT_FALSE(cache.dirty());
  EXPECT_EQ(cache.digest_for("a", dir.file("a")), reference_md5("alpha"));
  EXPECT_EQ(cache.digest_for("\xc3\xa9t\xc3\xa9", dir.file("\xc3\xa9t\xc3\xa9")), reference_md5("summer"));
  EXPECT_EQ(cache.digest_for("data\\x.img", dir.file("data/x.img")), reference_md5(""));
  EXPECT_EQ(cache.digest_for("B", dir.file("B")), reference_md5("bravo!"));
  EXPECT_EQ(cache.digest_for("gone", dir.file("gone")), "");
  ASSERT_TRUE(cache.save());
  EXPECT_FALSE(cache.dirty());
  EXPECT_TRUE(log.lines().empty());

  const std::string expected = cache_bytes({
      {"B", 6, 1600000001, reference_md5("bravo!")},
      {"a", 5, 1600000000, reference_md5("alpha")},
      {"data\\x.img", 0, 1600000003, reference_md5("")},
      {"\xc3\xa9t\xc3\xa9", 6, 1600000002, reference_md5("summer")},
  });
  EXPECT_EQ(read_text_file(cache_path()), expected);

  // Only the cache file itself is left in its folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("z")),
                          std::filesystem::directory_iterator()), 1);
}

TEST_F(VerifyCacheTest, LoadsRecordsUnseenAndPrunesTheOnesNotConfirmed) {
  write_text_file(cache_path(), cache_bytes({
      {"keep", 4, 1500000000, reference_md5("keep")},
      {"drop", 4, 1500000000, "0123456789abcdef0123456789abcdef"},
      {"nodigest", 1, 1, ""},
      {"", 1, 1, "0123456789abcdef0123456789abcdef"},
      {"keep", 4, 1500000000, reference_md5("keep")},
  }));
  add_file("keep", "keep", 1500000000);

  VerifyCache cache(cache_path());
  ASSERT_EQ(cache.records().size(), 2u);
  EXPECT_FALSE(cache.records().at("drop").seen);
  EXPECT_FALSE(cache.dirty());

  EXPECT_EQ(cache.digest_for("keep", dir.file("keep")), reference_md5("keep"));
  EXPECT_FALSE(cache.dirty());
  cache.prune_unseen();
  EXPECT_TRUE(cache.dirty());
  ASSERT_EQ(cache.records().size(), 1u);
  ASSERT_TRUE(cache.save());
  EXPECT_EQ(read_text_file(cache_path()), cache_bytes({{"keep", 4, 1500000000, reference_md5("keep")}}));
}

TEST_F(VerifyCacheTest, HitReturnsTheStoredDigestWithoutReadingTheFile) {
  add_file("game.dat", "original", 1650000000);
  {
    VerifyCache cache(cache_path());
    cache.digest_for("game.dat", dir.file("game.dat"));
    std::filesystem::create_directories(dir.file("z"));
    ASSERT_TRUE(cache.save());
  }
  // Same size and modification time, other content: the file is not read.
  add_file("game.dat", "ORIGINAL", 1650000000);
  VerifyCache cache(cache_path());
  EXPECT_EQ(cache.digest_for("game.dat", dir.file("game.dat")), reference_md5("original"));
  EXPECT_FALSE(cache.dirty());

  // A new modification time makes it hashed again.
  set_mtime(dir.file("game.dat"), 1650000001);
  EXPECT_EQ(cache.digest_for("game.dat", dir.file("game.dat")), reference_md5("ORIGINAL"));
  EXPECT_TRUE(cache.dirty());
  EXPECT_EQ(cache.records().at("game.dat").mtime, 1650000001);

  // A different size too, although the modification time is back.
  add_file("game.dat", "ORIGINAL+", 1650000001);
  EXPECT_EQ(cache.digest_for("game.dat", dir.file("game.dat")), reference_md5("ORIGINAL+"));
}

TEST_F(VerifyCacheTest, DamagedFilesAreResetWithTheirReason) {
  const std::string key = kVerifyCacheKey;
  const std::string good = cache_bytes({{"a", 1, 2, reference_md5("a")}});
  std::string flipped = good;
  flipped[40] = static_cast<char>(flipped[40] ^ 0x01);
  std::string digest_flipped = good;
  digest_flipped[4] = digest_flipped[4] == '0' ? '1' : '0';

  struct Case {
    const char* name;
    std::string bytes;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"35 bytes", good.substr(0, 35), "bad header"},
      {"empty file", "", "bad header"},
      {"other magic", "ZVC2" + good.substr(4), "bad header"},
      {"one byte of the record area changed", flipped, "integrity check failed"},
      {"one digest character changed", digest_flipped, "integrity check failed"},
      {"written with another key", cache_bytes({{"a", 1, 2, reference_md5("a")}},
                                               "zelvo/check-stores/v7/3b8e0d53"),
       "integrity check failed"},
      {"count larger than the records", cache_bytes({{"a", 1, 2, reference_md5("a")}}, kVerifyCacheKey, 2),
       "truncated payload"},
      {"no count at all", "ZVC1" + reference_md5(key + key), "truncated payload"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_text_file(cache_path(), c.bytes);
    LogCapture log;
    VerifyCache cache(cache_path());
    EXPECT_TRUE(cache.records().empty());
    EXPECT_TRUE(cache.dirty());
    EXPECT_EQ(log.lines(), std::vector<std::string>{std::string("verify cache: ") + c.reason +
                                                    ", rebuilding from disk"});
  }
}

TEST_F(VerifyCacheTest, TrailingBytesAfterTheCountedRecordsAreIgnored) {
  const std::string key = kVerifyCacheKey;
  // One counted record followed by an extra one that the count leaves out.
  std::string two = cache_bytes({{"a", 1, 2, reference_md5("a")}, {"b", 1, 2, reference_md5("b")}},
                                key, 1);
  write_text_file(cache_path(), two);
  LogCapture log;
  VerifyCache cache(cache_path());
  EXPECT_EQ(cache.records().size(), 1u);
  EXPECT_EQ(cache.records().count("a"), 1u);
  EXPECT_FALSE(cache.dirty());
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(VerifyCacheTest, MissingFileIsQuietAndCleanAndNothingIsWritten) {
  LogCapture log;
  VerifyCache cache(cache_path());
  EXPECT_FALSE(cache.dirty());
  EXPECT_TRUE(cache.save());
  EXPECT_FALSE(std::filesystem::exists(cache_path()));
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(VerifyCacheTest, RecordDownloadAndFailedSave) {
  add_file("new.bin", "fresh", 1700000000);
  VerifyCache cache(dir.file("nofolder/verify_cache.bin"));
  cache.record_download("new.bin", dir.file("new.bin"), "");
  cache.record_download("ghost", dir.file("ghost"), reference_md5("x"));
  EXPECT_TRUE(cache.records().empty());
  EXPECT_FALSE(cache.dirty());

  cache.record_download("new.bin", dir.file("new.bin"), reference_md5("fresh"));
  ASSERT_EQ(cache.records().size(), 1u);
  const VerifyCache::Record& r = cache.records().at("new.bin");
  EXPECT_EQ(r.size, 5);
  EXPECT_EQ(r.mtime, 1700000000);
  EXPECT_TRUE(r.seen);

  // save creates no folders; the change stays pending.
  EXPECT_FALSE(cache.save());
  EXPECT_TRUE(cache.dirty());
}

TEST_F(VerifyCacheTest, SameEntryPathSharesOneRecord) {
  add_file("dup", "one", 1700000000);
  VerifyCache cache(cache_path());
  cache.digest_for("dup", dir.file("dup"));
  cache.digest_for("dup", dir.file("dup"));
  EXPECT_EQ(cache.records().size(), 1u);
}

}  // namespace
}  // namespace zelvo::launcher
