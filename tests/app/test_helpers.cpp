#include "app/helpers.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::write_text_file;

struct JoinCase {
  std::string base;
  std::string rel;
  std::string expected;
};

TEST(JoinUrl, JoinsWithExactlyOneSlash) {
  const std::vector<JoinCase> cases = {
      {"https://cdn.example", "launcher/ping.txt", "https://cdn.example/launcher/ping.txt"},
      {"https://cdn.example/", "/launcher/ping.txt", "https://cdn.example/launcher/ping.txt"},
      {"https://cdn.example/", "launcher/ping.txt", "https://cdn.example/launcher/ping.txt"},
      {"https://cdn.example", "/launcher/ping.txt", "https://cdn.example/launcher/ping.txt"},
      // Only one leading slash of rel is dropped.
      {"https://cdn.example/", "//x", "https://cdn.example//x"},
      {"", "/launcher/ping.txt", "/launcher/ping.txt"},
      {"", "", ""},
      {"https://cdn.example", "", "https://cdn.example"},
      {"https://cdn.example/", "", "https://cdn.example/"},
  };
  for (const JoinCase& c : cases) {
    EXPECT_EQ(join_url(c.base, c.rel), c.expected) << c.base << " + " << c.rel;
  }
}

TEST(JoinPath, TurnsBackslashesOfTheRelativePartIntoSlashes) {
  const std::vector<JoinCase> cases = {
      {"/games/gta", "z/verify_cache.bin", "/games/gta/z/verify_cache.bin"},
      {"/games/gta/", "z/verify_cache.bin", "/games/gta/z/verify_cache.bin"},
      {"C:\\games\\", "z/verify_cache.bin", "C:\\games\\z/verify_cache.bin"},
      {"/games/gta", "models\\gta3.img", "/games/gta/models/gta3.img"},
      // The base keeps its own separators; a leading separator of rel stays.
      {"D:\\games", "data\\x.dat", "D:\\games/data/x.dat"},
      {"/games/", "/z/a", "/games//z/a"},
      // An empty base returns rel untouched, backslashes included.
      {"", "z\\a.txt", "z\\a.txt"},
      {"/игры/Зелво", "аудио\\звук.wav", "/игры/Зелво/аудио/звук.wav"},
  };
  for (const JoinCase& c : cases) {
    EXPECT_EQ(join_path(c.base, c.rel), c.expected) << c.base << " + " << c.rel;
  }
}

TEST(AddTimeQuery, AppendsCurrentMillisecondsWithTheRightSeparator) {
  struct Case {
    std::string url;
    std::string prefix;
  };
  const std::vector<Case> cases = {
      {"https://cdn.example/launcher/update.json", "https://cdn.example/launcher/update.json?t="},
      {"https://cdn.example/f.json?a=1", "https://cdn.example/f.json?a=1&t="},
  };
  const auto now_ms = [] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  };
  for (const Case& c : cases) {
    const long long before = now_ms();
    const std::string url = add_time_query(c.url);
    const long long after = now_ms();
    ASSERT_EQ(url.rfind(c.prefix, 0), 0u) << url;
    const std::string digits = url.substr(c.prefix.size());
    ASSERT_FALSE(digits.empty());
    ASSERT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << url;
    const long long stamp = std::stoll(digits);
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
  }
}

TEST(SizeText, MegabytesBelowOneGibibyteElseGibibytesWithOneDecimal) {
  struct Case {
    std::int64_t bytes;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {-5, "0 МБ"},
      {std::numeric_limits<std::int64_t>::min(), "0 МБ"},
      {0, "0 МБ"},
      {524287, "0 МБ"},
      {524288, "0 МБ"},  // half a MiB rounds to even
      {1048576, "1 МБ"},
      {536870912, "512 МБ"},
      {1073741823, "1024 МБ"},
      {1073741824, "1.0 ГБ"},
      {1610612736, "1.5 ГБ"},
      {5368709120, "5.0 ГБ"},
      {std::numeric_limits<std::int64_t>::max(), "8589934592.0 ГБ"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(size_text(c.bytes), c.expected) << c.bytes;
  }
}

TEST(DrivePresent, WindowsDriveLettersNameNoDriveHere) {
  struct Case {
    std::string path;
    bool present;
    bool usable;
  };
  const std::vector<Case> cases = {
      {"Q:/Games", false, false},
      {"D:\\games", false, false},
      {"C:", false, false},
      {"c:/", false, false},
      {"/home/player/Games/GTA San Andreas", true, true},
      {"//server/share/gta", true, true},
      {"\\\\server\\share", true, true},
      {"games/gta", true, true},
      {"/home/игрок/Игры", true, true},
      {"Q", true, true},
      {"", true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(drive_present(c.path), c.present) << c.path;
    EXPECT_EQ(is_usable_game_dir(c.path), c.usable) << c.path;
  }
}

TEST(CreateDirectories, CreatesEveryLevelAndIgnoresWhatExists) {
  TempDir dir;
  struct Case {
    std::string rel;
    std::vector<std::string> created;
  };
  const std::vector<Case> cases = {
      {"a/b/c", {"a", "a/b", "a/b/c"}},
      {"a/b/d/", {"a/b/d"}},
      {"e//f", {"e", "e/f"}},
      {"Игры/Зелво", {"Игры", "Игры/Зелво"}},
      // A backslash is part of a Linux folder name.
      {"g\\h", {"g\\h"}},
  };
  for (const Case& c : cases) {
    create_directories(dir.file(c.rel));
    for (const std::string& folder : c.created) {
      EXPECT_TRUE(fs::is_directory(dir.file(folder))) << c.rel << ": " << folder;
    }
  }
  EXPECT_FALSE(fs::exists(dir.file("g")));

  // Running again over existing folders changes nothing and does not fail.
  create_directories(dir.file("a/b/c"));
  EXPECT_TRUE(fs::is_directory(dir.file("a/b/c")));
}

TEST(CreateDirectories, PathThroughARegularFileCreatesNothing) {
  TempDir dir;
  write_text_file(dir.file("file"), "x");
  create_directories(dir.file("file/sub/deeper"));
  EXPECT_TRUE(fs::is_regular_file(dir.file("file")));
  EXPECT_FALSE(fs::exists(dir.file("file/sub")));
  create_directories("");
}

TEST(ExeDir, IsTheFolderOfTheRunningExecutable) {
  const std::string dir = exe_dir();
  ASSERT_FALSE(dir.empty());
  EXPECT_NE(dir.back(), '/');
  EXPECT_EQ(fs::path(exe_path()).parent_path().string(), dir);
  EXPECT_TRUE(fs::is_regular_file(exe_path()));
}

TEST(RemoveOldExecutable, DeletesTheOldCopyAndToleratesItsAbsence) {
  const std::string old = exe_path() + ".old";
  write_text_file(old, "previous build");
  remove_old_executable();
  EXPECT_FALSE(fs::exists(old));
  remove_old_executable();
}

TEST(ErrnoText, GivesTheCLibraryEnglishText) {
  EXPECT_EQ(errno_text(ENOENT), "No such file or directory");
  EXPECT_EQ(errno_text(EACCES), "Permission denied");
  EXPECT_FALSE(errno_text(123456).empty());
}

}  // namespace
}  // namespace zelvo::launcher
