#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/linux_platform.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher {
namespace {

using test::LogCapture;
using test::path_exists;
using test::read_text_file;
using test::TempDir;
using test::write_text_file;

std::vector<std::string> split_nul(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  return parts;
}

// Keeps an environment variable's value across a test.
class SavedEnv {
 public:
  explicit SavedEnv(const char* name) : name_(name) {
    if (const char* value = std::getenv(name)) value_ = value;
  }
  ~SavedEnv() {
    if (value_) ::setenv(name_, value_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> value_;
};

// What the fake runner saw: its arguments, the four variables, its working
// folder, and whether it leads its own session.
struct RunnerRecord {
  std::vector<std::string> args;
  std::vector<std::string> env;
  std::string cwd;
  bool session_leader = false;
};

// A game folder with gta_sa.exe (a name in Cyrillic with a space, so paths
// must reach the runner untouched) and a fake runner script.
class GameLaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    game_ = dir_.file("Игры Zelvo");
    exe_ = game_ + "/gta_sa.exe";
    write_text_file(exe_, "MZ");
    runner_ = write_runner("runner");
    ::setenv("ZELVO_GAME_RUNNER", runner_.c_str(), 1);
  }

  // Only shell built-ins and absolute paths: PATH is replaced in one test.
  std::string write_runner(const std::string& name) {
    const std::string path = dir_.file(name);
    const std::string rec = dir_.file("record");
    write_text_file(path,
                    "#!/bin/sh\n"
                    "printf '%s\\000' \"$@\" > '" + rec + ".args'\n"
                    "printf '%s\\000' \"$ZELVO_NICKNAME\" \"$ZELVO_SERVER_IP\" \"$ZELVO_SERVER_PORT\""
                    " \"$ZELVO_SERVER_NAME\" > '" + rec + ".env'\n"
                    "pwd > '" + rec + ".cwd'\n"
                    "read -r a b c d e sid rest < /proc/$$/stat\n"
                    "echo \"$$ $sid\" > '" + rec + ".sid'\n"
                    "echo done > '" + rec + ".done'\n");
    ::chmod(path.c_str(), 0755);
    return path;
  }

  // Waits up to 5 s for the detached runner to finish, then reads its record.
  RunnerRecord runner_record() {
    const std::string rec = dir_.file("record");
    for (int i = 0; i < 500 && !path_exists(rec + ".done"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    RunnerRecord record;
    record.args = split_nul(read_text_file(rec + ".args"));
    record.env = split_nul(read_text_file(rec + ".env"));
    record.cwd = read_text_file(rec + ".cwd");
    if (!record.cwd.empty()) record.cwd.pop_back();
    const std::string sid = read_text_file(rec + ".sid");
    const std::size_t space = sid.find(' ');
    record.session_leader = space != std::string::npos &&
                            sid.substr(0, space) + "\n" == sid.substr(space + 1);
    ::unlink((rec + ".done").c_str());
    return record;
  }

  bool runner_started() { return path_exists(dir_.file("record.args")); }

  SavedEnv saved_runner_{"ZELVO_GAME_RUNNER"};
  SavedEnv saved_path_{"PATH"};
  SavedEnv saved_nick_{"ZELVO_NICKNAME"};
  TempDir dir_;
  std::string game_;
  std::string exe_;
  std::string runner_;
};

ServerEntry server(const std::string& name, const std::string& address, int port) {
  ServerEntry entry;
  entry.name = name;
  entry.address = address;
  entry.port = port;
  return entry;
}

TEST_F(GameLaunchTest, StartsTheRunnerWithTheGameAndWritesTheConnectionFile) {
  ::setenv("ZELVO_GAME_RUNNER", (" " + runner_ + "  --wine-flag\t").c_str(), 1);
  LinuxPlatform platform(game_, dir_.file("ZelvoLauncher"));
  LogCapture log;
  std::string error = "untouched";

  ASSERT_TRUE(platform.launch_game("Павел_Зорин", server("Зелво #1", "203.0.113.7", 7777), &error));
  EXPECT_EQ(error, "untouched");

  const RunnerRecord record = runner_record();
  EXPECT_EQ(record.args, (std::vector<std::string>{"--wine-flag", exe_, "-n", "Павел_Зорин", "-h",
                                                   "203.0.113.7", "-p", "7777"}));
  EXPECT_EQ(record.env,
            (std::vector<std::string>{"Павел_Зорин", "203.0.113.7", "7777", "Зелво #1"}));
  EXPECT_EQ(record.cwd, game_);
  EXPECT_TRUE(record.session_leader) << "the game must not end with the launcher's session";

  EXPECT_EQ(read_text_file(game_ + "/z/launcher_connect.json"),
            "{\r\n  \"ip\": \"203.0.113.7\",\r\n  \"nickname\": \"Павел_Зорин\",\r\n"
            "  \"port\": 7777,\r\n  \"server_name\": \"Зелво #1\"\r\n}");
  EXPECT_TRUE(log.has("launch: game_dir=" + game_ + " exe=" + exe_ +
                      " server=203.0.113.7:7777 nick=Павел_Зорин"));
  EXPECT_TRUE(log.contains("launch: started pid="));
}

TEST_F(GameLaunchTest, NicknameAndAddressReachTheGameAsSingleArguments) {
  LinuxPlatform platform(game_, dir_.file("ZelvoLauncher"));
  const struct {
    std::string nickname;
    std::string address;
  } cases[] = {
      {"\"; touch pwned; $(id) `id` -h evil", "203.0.113.7"},
      {"Nick With Spaces", "203.0.113.7 -p 1 -n admin"},
      {"-p", "'quoted'|&>*?"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nickname);
    ASSERT_TRUE(platform.launch_game(c.nickname, server("s", c.address, 7777), nullptr));
    const RunnerRecord record = runner_record();
    EXPECT_EQ(record.args,
              (std::vector<std::string>{exe_, "-n", c.nickname, "-h", c.address, "-p", "7777"}));
  }
  EXPECT_FALSE(path_exists(game_ + "/pwned"));
}

TEST_F(GameLaunchTest, WineFromPathIsTheDefaultRunner) {
  ::unsetenv("ZELVO_GAME_RUNNER");
  ::mkdir(dir_.file("bin").c_str(), 0755);
  ASSERT_EQ(::rename(runner_.c_str(), dir_.file("bin/wine").c_str()), 0);
  ::setenv("PATH", dir_.file("bin").c_str(), 1);
  LinuxPlatform platform(game_, dir_.file("ZelvoLauncher"));

  ASSERT_TRUE(platform.launch_game("Nick", server("s", "198.51.100.1", -1), nullptr));
  EXPECT_EQ(runner_record().args,
            (std::vector<std::string>{exe_, "-n", "Nick", "-h", "198.51.100.1", "-p", "-1"}));
}

TEST_F(GameLaunchTest, MissingGameExecutableFailsBeforeWritingAnything) {
  ::unlink(exe_.c_str());
  LinuxPlatform platform(game_, dir_.file("ZelvoLauncher"));
  const std::string expected =
      "gta_sa.exe not found at " + exe_ + " (wait for file download to finish or reinstall the game)";
  ::unsetenv("ZELVO_NICKNAME");

  for (bool as_folder : {false, true}) {
    SCOPED_TRACE(as_folder ? "gta_sa.exe is a folder" : "gta_sa.exe is missing");
    if (as_folder) ::mkdir(exe_.c_str(), 0755);
    LogCapture log;
    std::string error;
    EXPECT_FALSE(platform.launch_game("Nick", server("s", "203.0.113.7", 7777), &error));
    EXPECT_EQ(error, expected);
    EXPECT_TRUE(log.has("launch fail: " + expected));
    // A null error pointer still logs and fails.
    EXPECT_FALSE(platform.launch_game("Nick", server("s", "203.0.113.7", 7777), nullptr));
  }
  EXPECT_FALSE(path_exists(game_ + "/z"));
  EXPECT_EQ(std::getenv("ZELVO_NICKNAME"), nullptr);
  EXPECT_FALSE(runner_started());
}

TEST_F(GameLaunchTest, UnwritableConnectionFileFailsBeforeTheGameStarts) {
  // Failures root cannot bypass: a folder in the file's place, a file in the folder's.
  const struct {
    const char* name;
    void (*prepare)(const std::string& game);
  } cases[] = {
      {"folder in place of the file",
       [](const std::string& game) {
         ::mkdir((game + "/z").c_str(), 0755);
         ::mkdir((game + "/z/launcher_connect.json").c_str(), 0755);
       }},
      {"file in place of z", [](const std::string& game) { write_text_file(game + "/z", "x"); }},
  };
  ::unsetenv("ZELVO_NICKNAME");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir other;
    const std::string game = other.path();
    write_text_file(game + "/gta_sa.exe", "MZ");
    c.prepare(game);
    LinuxPlatform platform(game, dir_.file("ZelvoLauncher"));
    std::string error;
    EXPECT_FALSE(platform.launch_game("Nick", server("s", "203.0.113.7", 7777), &error));
    EXPECT_EQ(error, "cannot write " + game +
                         "/z/launcher_connect.json (check folder permissions and free disk space)");
  }
  EXPECT_EQ(std::getenv("ZELVO_NICKNAME"), nullptr) << "the environment is set only after the file";
  EXPECT_FALSE(runner_started());
}

TEST_F(GameLaunchTest, RunnerThatCannotStartGivesTheProcessError) {
  ::mkdir(dir_.file("folder-runner").c_str(), 0755);
  write_text_file(dir_.file("no-exec-runner"), "#!/bin/sh\n");
  ::chmod(dir_.file("no-exec-runner").c_str(), 0644);
  const std::string prefix = "CreateProcess failed for " + exe_ + ": ";
  const struct {
    std::string runner;
    std::string expected;
  } cases[] = {
      {dir_.file("missing-runner"),
       prefix + "No such file or directory (game executable or a dependency is missing)"},
      {"zelvo-no-such-runner-in-path",
       prefix + "No such file or directory (game executable or a dependency is missing)"},
      {dir_.file("no-exec-runner"),
       prefix + "Permission denied (run the launcher as administrator or check antivirus quarantine)"},
      {dir_.file("folder-runner"),
       prefix + "Permission denied (run the launcher as administrator or check antivirus quarantine)"},
      {"/" + std::string(300, 'r'), prefix + "File name too long"},
  };
  LinuxPlatform platform(game_, dir_.file("ZelvoLauncher"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.runner);
    ::setenv("ZELVO_GAME_RUNNER", c.runner.c_str(), 1);
    LogCapture log;
    std::string error;
    EXPECT_FALSE(platform.launch_game("Nick", server("s", "203.0.113.7", 7777), &error));
    EXPECT_EQ(error, c.expected);
    EXPECT_TRUE(log.has("launch fail: " + c.expected));
    EXPECT_FALSE(log.contains("launch: started"));
  }
}

}  // namespace
}  // namespace zelvo::launcher
