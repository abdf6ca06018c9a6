#include "app/json_file.hpp"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using test::read_text_file;
using test::TempDir;
using test::write_text_file;

std::vector<std::string> folder_entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

TEST(DumpJsonFileText, TwoSpacesByteOrderRawUtf8CrLfNoFinalBreak) {
  json value = json::parse(R"({"zeta": 1, "Zeta": [true, null], "ёж": "Привет",
      "alpha": {"b": {}, "a": "line\nbreak"}, "empty": [], "x": 1.5})");
  EXPECT_EQ(dump_json_file_text(value),
            "{\r\n"
            "  \"Zeta\": [\r\n"
            "    true,\r\n"
            "    null\r\n"
            "  ],\r\n"
            "  \"alpha\": {\r\n"
            "    \"a\": \"line\\nbreak\",\r\n"
            "    \"b\": {}\r\n"
            "  },\r\n"
            "  \"empty\": [],\r\n"
            "  \"x\": 1.5,\r\n"
            "  \"zeta\": 1,\r\n"
            "  \"ёж\": \"Привет\"\r\n"
            "}");
  EXPECT_EQ(dump_json_file_text(json::object()), "{}");
}

TEST(DumpJsonFileText, InvalidUtf8IsReplacedNotThrown) {
  const json value = {{"name", std::string("ok\xff")}};
  EXPECT_EQ(dump_json_file_text(value), "{\r\n  \"name\": \"ok\xEF\xBF\xBD\"\r\n}");
}

TEST(WriteFileAtomically, ReplacesTheWholeFileAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.file("launcher.json");
  write_text_file(path, std::string(10000, 'o'));
  ::chmod(path.c_str(), 0640);

  ASSERT_TRUE(write_file_atomically(path, "new\r\ntext"));
  EXPECT_EQ(read_text_file(path), "new\r\ntext");
  EXPECT_EQ(folder_entries(dir.path()), std::vector<std::string>{"launcher.json"});
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u) << "the replaced file keeps its mode";

  const std::string fresh = dir.file("fresh.json");
  ASSERT_TRUE(write_file_atomically(fresh, ""));
  EXPECT_TRUE(fs::is_regular_file(fresh));
  EXPECT_EQ(fs::file_size(fresh), 0u);
}

// Failures that hold for root as well: a folder where the file must go, a
// missing folder, a path through a regular file.
TEST(WriteFileAtomically, FailureReturnsFalseAndKeepsWhatWasThere) {
  TempDir dir;
  write_text_file(dir.file("occupied/keep.txt"), "inside");
  write_text_file(dir.file("plain"), "plain file");
  const std::vector<std::string> targets = {
      dir.file("occupied"),
      dir.file("missing/launcher.json"),
      dir.file("plain/launcher.json"),
      "",
  };
  for (const std::string& target : targets) {
    EXPECT_FALSE(write_file_atomically(target, "data")) << target;
  }
  EXPECT_EQ(read_text_file(dir.file("occupied/keep.txt")), "inside");
  EXPECT_EQ(read_text_file(dir.file("plain")), "plain file");
  EXPECT_FALSE(fs::exists(dir.file("missing")));
  std::vector<std::string> left = folder_entries(dir.path());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"occupied", "plain"}));
  EXPECT_EQ(folder_entries(dir.file("occupied")), std::vector<std::string>{"keep.txt"});
}

TEST(WriteFileAtomically, ReadOnlyFolderKeepsTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  const std::string path = dir.file("ro/launcher.json");
  write_text_file(path, "old");
  ::chmod(dir.file("ro").c_str(), 0555);
  EXPECT_FALSE(write_file_atomically(path, "new"));
  EXPECT_EQ(read_text_file(path), "old");
}

TEST(ReadFile, ReadsBytesUnchangedAndRejectsWhatIsNoFile) {
  TempDir dir;
  const std::string bytes = std::string("a\r\nb\0c\xD0\x96", 8);
  write_text_file(dir.file("data.bin"), bytes);
  std::string data = "previous";
  ASSERT_TRUE(read_file(dir.file("data.bin"), data));
  EXPECT_EQ(data, bytes);

  write_text_file(dir.file("empty"), "");
  ASSERT_TRUE(read_file(dir.file("empty"), data));
  EXPECT_EQ(data, "");

  fs::create_directory(dir.file("folder"));
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  // A folder used to throw from the stream; a FIFO without writer must not block.
  for (const std::string name : {"missing", "folder", "fifo"}) {
    data = "kept";
    EXPECT_FALSE(read_file(dir.file(name), data)) << name;
    EXPECT_EQ(data, "kept") << name;
  }
}

}  // namespace
}  // namespace zelvo::launcher
