#include "app/log.hpp"

#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher {
namespace {

using test::read_text_file;
using test::TempDir;
using test::write_text_file;

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// "[HH:MM:SS.mmm] [info] " in the file, "[HH:MM:SS] " in the recent lines.
const std::regex kFileLine(R"(\[\d\d:\d\d:\d\d\.\d\d\d\] \[info\] (.*))");
const std::regex kRecentLine(R"(\[\d\d:\d\d:\d\d\] (.*))");

std::vector<std::string> messages(const std::vector<std::string>& lines, const std::regex& format) {
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    std::smatch match;
    if (!std::regex_match(line, match, format)) {
      ADD_FAILURE() << "malformed log line: " << line;
      continue;
    }
    out.push_back(match[1]);
  }
  return out;
}

std::vector<std::string> file_messages(const std::string& path) {
  return messages(split_lines(read_text_file(path)), kFileLine);
}

std::vector<std::string> recent_messages() { return messages(split_lines(log_recent_text()), kRecentLine); }

class LogFile : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.file("launcher.log");
};

TEST_F(LogFile, InitTruncatesTheFileAndWritesOneLinePerMessage) {
  write_text_file(path_, "a line of the previous run\n");
  log_init(path_, false);
  log_printf("play: host=%s tag=%s restore=%d", "cdn.example", "pc", 1);
  log_printf("launcher start (pc), exe_dir=%s", "/opt/zelvo");

  const std::string text = read_text_file(path_);
  EXPECT_EQ(text.find("previous run"), std::string::npos);
  EXPECT_EQ(file_messages(path_), (std::vector<std::string>{"play: host=cdn.example tag=pc restore=1",
                                                            "launcher start (pc), exe_dir=/opt/zelvo"}));
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');

  const std::vector<std::string> recent = recent_messages();
  ASSERT_GE(recent.size(), 2u);
  EXPECT_EQ(recent[recent.size() - 2], "play: host=cdn.example tag=pc restore=1");
  EXPECT_EQ(recent.back(), "launcher start (pc), exe_dir=/opt/zelvo");
}

TEST_F(LogFile, AppendModeKeepsTheEarlierLines) {
  write_text_file(path_, "[00:00:00.000] [info] earlier\n");
  log_init(path_, true);
  log_printf("later");
  EXPECT_EQ(file_messages(path_), (std::vector<std::string>{"earlier", "later"}));
}

TEST_F(LogFile, BracesAndPercentSignsAreWrittenVerbatim) {
  log_init(path_, false);
  const char* tricky = "{} {0} {:>10} 100% %s %d %% }{";
  log_printf("%s", tricky);
  log_printf("progress 50%% {}");
  const std::vector<std::string> expected = {tricky, "progress 50% {}"};
  EXPECT_EQ(file_messages(path_), expected);
  const std::vector<std::string> recent = recent_messages();
  ASSERT_GE(recent.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(recent.end() - 2, recent.end()), expected);
}

TEST_F(LogFile, LongMessagesAreCutAt2047Bytes) {
  log_init(path_, false);
  log_printf("%s", std::string(5000, 'x').c_str());
  // The cut falls inside the two bytes of "Ж" and keeps its first byte only.
  log_printf("%s", (std::string(2046, 'a') + "Жzz").c_str());
  log_printf("%s", std::string(2047, 'b').c_str());

  const std::vector<std::string> expected = {std::string(2047, 'x'), std::string(2046, 'a') + "\xD0",
                                             std::string(2047, 'b')};
  EXPECT_EQ(file_messages(path_), expected);
  const std::vector<std::string> recent = recent_messages();
  ASSERT_GE(recent.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(recent.end() - 3, recent.end()), expected);
}

TEST(LogRecent, KeepsTheLast600LinesOldestFirst) {
  for (int i = 1; i <= 601; ++i) log_printf("servers: line %d", i);
  const std::vector<std::string> recent = recent_messages();
  ASSERT_EQ(recent.size(), 600u);
  EXPECT_EQ(recent.front(), "servers: line 2");
  EXPECT_EQ(recent.back(), "servers: line 601");
  const std::string text = log_recent_text();
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(text.find("\n\n"), std::string::npos);
}

// Both threads log at once; every line arrives whole, each thread's lines keep
// their order, and file and buffer agree on the interleaving.
TEST_F(LogFile, TwoThreadsLoggingAtOnceKeepLinesWholeAndInTheSameOrder) {
  log_init(path_, false);
  constexpr int kPerThread = 300;
  auto writer = [](const char* area) {
    for (int i = 0; i < kPerThread; ++i) {
      log_printf("%s: step=%d payload=%s", area, i, "{}%-0123456789abcdefghijklmnopqrstuvwxyz");
    }
  };
  std::thread ui(writer, "ui");
  std::thread worker(writer, "play");
  ui.join();
  worker.join();

  const std::vector<std::string> in_file = file_messages(path_);
  ASSERT_EQ(in_file.size(), 2u * kPerThread);
  EXPECT_EQ(recent_messages(), in_file);

  int next_ui = 0;
  int next_play = 0;
  const std::regex line(R"((ui|play): step=(\d+) payload=\{\}%-0123456789abcdefghijklmnopqrstuvwxyz)");
  for (const std::string& message : in_file) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(message, match, line)) << message;
    int& next = match[1] == "ui" ? next_ui : next_play;
    EXPECT_EQ(std::stoi(match[2]), next) << message;
    next = std::stoi(match[2]) + 1;
  }
  EXPECT_EQ(next_ui, kPerThread);
  EXPECT_EQ(next_play, kPerThread);
}

// A log path that cannot be opened, even by root: its folder is a regular file.
TEST_F(LogFile, UnopenableFileKeepsLoggingIntoTheRecentLines) {
  log_init(path_, false);
  log_printf("first run line");
  write_text_file(dir_.file("not-a-folder"), "x");

  log_init(dir_.file("not-a-folder/launcher.log"), false);
  log_printf("after failed init %d", 7);

  EXPECT_EQ(recent_messages().back(), "after failed init 7");
  // The earlier logger was dropped, so its file gets nothing more.
  EXPECT_EQ(file_messages(path_), std::vector<std::string>{"first run line"});
}

}  // namespace
}  // namespace zelvo::launcher
