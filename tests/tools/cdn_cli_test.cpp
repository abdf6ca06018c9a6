#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "files/manifest.hpp"
#include "net/curl_http_client.hpp"
#include "tests/support/temp_dir.hpp"
#include "tools/cdn_cli.hpp"
#include "tools/cdn_server.hpp"

extern char** environ;

namespace zelvo::launcher {
namespace {

using test::TempDir;
using test::write_text_file;

struct CliRun {
  int code = 0;
  std::string out;
  std::string err;
};

CliRun run(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  CliRun result;
  result.code = run_cdn_cli(args, out, err, [] { ADD_FAILURE() << "serve should not have started"; });
  result.out = out.str();
  result.err = err.str();
  return result;
}

class CdnCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    write_text_file(dir.file("game/a.txt"), "a");
    write_text_file(dir.file("broken/ok.txt"), "ok");
    std::filesystem::create_symlink(dir.file("broken/gone.txt"), dir.file("broken/link.txt"));
    write_text_file(dir.file("plain.txt"), "a file, not a folder");
    write_text_file(dir.file("launcher.bin"), "build");
    write_text_file(dir.file("not-json.json"), "{\"pc\": ");
    write_text_file(dir.file("array.json"), "[1, 2]");
    std::filesystem::create_directories(dir.file("root/cdn-ru/launcher"));
  }

  TempDir dir;
};

TEST_F(CdnCliTest, BadInputFailsWithOneLineAndNoOutput) {
  // Holds a port so that serve meets an occupied one.
  CdnServer holder;
  std::string error;
  ASSERT_TRUE(holder.start({dir.file("root"), 0, dir.file("tls")}, {}, error)) << error;
  const std::string busy_port = std::to_string(holder.port());

  const std::string game = dir.file("game");
  const std::string bin = dir.file("launcher.bin");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"publish"},
      {"manifest"},
      {"manifest", dir.file("missing")},
      {"manifest", dir.file("plain.txt")},
      {"manifest", dir.file("broken")},
      {"manifest", game, "--protect", "[abc"},
      {"manifest", game, "--optional", "cleo\\"},
      {"manifest", game, "--protect"},
      {"manifest", game, "--base-url", "ftp://cdn.example.org/files"},
      {"manifest", game, "--verbose", "yes"},
      {"update", "--tag", "pc", "--version", "0.48", "--url", "/u.exe"},
      {"update", "--version", "0.48", "--url", "/u.exe", bin},
      {"update", "--tag", "pc", "--version", "0.48b", "--url", "/u.exe", bin},
      {"update", "--tag", "pc", "--version", "1..2", "--url", "/u.exe", bin},
      {"update", "--tag", "pc", "--version", "", "--url", "/u.exe", bin},
      {"update", "--tag", "pc", "--version", "0.48", "--url", "/u.exe", dir.file("missing.bin")},
      {"update", "--tag", "pc", "--version", "0.48", "--url", "/u.exe", game},
      {"update", "--tag", "pc", "--version", "0.48", "--url", "/u.exe", "--into",
       dir.file("not-json.json"), bin},
      {"update", "--tag", "pc", "--version", "0.48", "--url", "/u.exe", "--into",
       dir.file("array.json"), bin},
      {"update", "--tag", "pc", "--version", "0.48", "--url", "/u.exe", "--into",
       dir.file("missing.json"), bin},
      {"serve", dir.file("missing"), "--tls-dir", dir.file("tls")},
      {"serve", dir.file("root"), "--port", busy_port, "--tls-dir", dir.file("tls")},
      {"serve", dir.file("root"), "--port", "80000", "--tls-dir", dir.file("tls")},
      {"serve", dir.file("root"), "--port", "http", "--tls-dir", dir.file("tls")},
      {"serve", dir.file("root"), "--port", "0", "--tls-dir", dir.file("root/cdn-ru/tls")},
      {"demo-tree", dir.file("plain.txt")},
      {"demo-tree"},
  };
  for (const auto& args : cases) {
    std::string shown;
    for (const auto& a : args) shown += a + " ";
    const CliRun r = run(args);
    EXPECT_NE(r.code, 0) << shown;
    EXPECT_EQ(r.out, "") << shown;
    ASSERT_FALSE(r.err.empty()) << shown;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << shown << "-> " << r.err;
    EXPECT_EQ(r.err.rfind("zelvo-cdn: ", 0), 0u) << shown << "-> " << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("root/cdn-ru/tls")));
}

TEST_F(CdnCliTest, ManifestAcceptsOptionsInBothSpellings) {
  const CliRun r = run({"manifest", "--base-url=https://cdn.example.org/pc/files", dir.file("game"),
                        "--protect", "*.txt"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const FileManifest manifest = FileManifest::parse(r.out);
  EXPECT_EQ(manifest.base_url, "https://cdn.example.org/pc/files");
  ASSERT_EQ(manifest.files.size(), 1u);
  EXPECT_TRUE(manifest.files[0].is_protected);
}

TEST_F(CdnCliTest, HelpGoesToStandardOutput) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"--help"}, {"serve", "--help"}}) {
    const CliRun r = run(args);
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("zelvo-cdn manifest GAME_DIR"), std::string::npos);
    EXPECT_EQ(r.err, "");
  }
}

// The real executable: serve announces its address on standard output and
// ends cleanly on SIGTERM.
TEST_F(CdnCliTest, ExecutableServesUntilTerminated) {
  write_text_file(dir.file("root/cdn-ru/launcher/ping.txt"), "ok\n");
  int out_pipe[2];
  ASSERT_EQ(::pipe(out_pipe), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const std::string root = dir.file("root");
  const std::string tls = dir.file("tls");
  std::vector<std::string> args = {ZELVO_CDN_EXE, "serve", root, "--port", "0", "--tls-dir", tls};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, ZELVO_CDN_EXE, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out_pipe[1]);

  std::string out;
  char buffer[256];
  while (out.find("serving ") == std::string::npos || out.back() != '\n') {
    const ssize_t n = ::read(out_pipe[0], buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(out_pipe[0]);
  const auto at = out.find("serving ");
  ASSERT_NE(at, std::string::npos) << out;
  const std::string base = out.substr(at + 8, out.find('\n', at) - at - 8);
  EXPECT_NE(out.find("ca file: " + tls + "/ca.pem\n"), std::string::npos) << out;
  EXPECT_NE(out.find("node: " + base + "/cdn-ru\n"), std::string::npos) << out;

  {
    // Gone before the signal, so no idle connection delays the stop.
    CurlHttpClient client(tls + "/ca.pem", HttpTimeouts{5000});
    std::string body;
    EXPECT_TRUE(client.get(base + "/cdn-ru/launcher/ping.txt", body, 5)) << client.last_error();
    EXPECT_EQ(body, "ok\n");
  }

  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace zelvo::launcher
