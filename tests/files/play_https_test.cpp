// The Play run against a real HTTPS server on loopback through the libcurl client.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/launcher_core.hpp"
#include "files/file_digest.hpp"
#include "files/verify_cache.hpp"
#include "net/curl_http_client.hpp"
#include "tests/support/fake_platform.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tls_test_server.hpp"

namespace zelvo::launcher {
namespace {

using test::FakePlatform;
using test::LogCapture;
using test::read_text_file;
using test::TempDir;
using test::TlsTestServer;
using test::write_text_file;

std::string pattern(std::size_t size, char seed) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + (i * 131) % 251);
  return s;
}

class PlayHttpsTest : public ::testing::Test {
 protected:
  PlayHttpsTest()
      : client(server.ca_file(), HttpTimeouts{5000}),
        platform(dir.file("game")),
        core(client, platform, CdnConfig{{server.base_url()}, server.url("/geo"), server.ca_file()}) {
    std::filesystem::create_directories(dir.file("game"));
    core.set_region("EU");
    httplib::Server& s = server.server();
    s.Get("/launcher/ping.txt", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("ok", "text/plain");
    });
    s.Get("/launcher/pc/files.json", [this](const httplib::Request&, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex);
      if (manifest.empty()) {
        res.status = 404;
        return;
      }
      res.set_content(manifest, "application/json");
    });
    // Sends the first part, asks the launcher to cancel, then keeps sending.
    s.Get("/launcher/pc/files/cancel.bin", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(1 << 20, "application/octet-stream",
                               [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 if (offset > 0) {
                                   core.cancel();
                                   if (server.wait_for_stop(std::chrono::milliseconds(20))) return false;
                                 }
                                 const std::string piece = pattern(16384, 'c');
                                 return sink.write(piece.data(), piece.size());
                               });
    });
    // Announces more than it sends, then drops the connection.
    s.Get("/launcher/pc/files/cut.bin", [](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(100000, "application/octet-stream",
                               [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 if (offset > 0) return false;
                                 const std::string piece = pattern(1000, 'x');
                                 sink.write(piece.data(), piece.size());
                                 return true;
                               });
    });
    s.Get(R"(/launcher/pc/files/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex);
      const auto it = files.find(req.matches[1]);
      if (it == files.end()) {
        res.status = 404;
        return;
      }
      res.set_content(it->second, "application/octet-stream");
    });
    server.start();
  }

  std::string game(const std::string& rel) const { return dir.file("game/" + rel); }
  void set_manifest(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex);
    manifest = text;
  }
  void serve(const std::string& rel, const std::string& content) {
    std::lock_guard<std::mutex> lock(mutex);
    files[rel] = content;
  }
  std::vector<std::string> file_requests() const {
    std::vector<std::string> out;
    for (const std::string& r : server.requests()) {
      if (r.rfind("GET /launcher/pc/files/", 0) == 0) out.push_back(r.substr(23));
    }
    return out;
  }
  // A handler may still be cancelling the core, which dies before the server.
  ~PlayHttpsTest() override { server.stop(); }

  void play(bool restore) {
    ServerEntry entry;
    entry.address = "10.0.0.1";
    core.run_play("Nick", entry, restore);
  }

  TempDir dir;
  TlsTestServer server;
  CurlHttpClient client;
  FakePlatform platform;
  LauncherCore core;
  std::mutex mutex;
  std::string manifest;
  std::map<std::string, std::string> files;
};

TEST_F(PlayHttpsTest, FetchesWhatIsMissingOrProtectedAndStartsTheGame) {
  const std::string big = pattern(300000, 'a');
  const std::string small = "settings v2";
  write_text_file(game("models/player.dff"), "edited by the user");
  write_text_file(game("data/main.scm"), "edited too");
  write_text_file(game("readme.txt"), "whatever the user wrote");
  set_manifest(R"({"files":[)"
               R"({"path":"models/gta3.img","md5":")" + md5_hex(big) + R"(","size":300000},)"
               R"(["data\\settings.cfg",")" + md5_hex(small) + R"(",11],)"
               R"({"path":"models/player.dff","md5":")" + md5_hex("original model") + R"("},)"
               R"({"path":"data/main.scm","md5":")" + md5_hex("original script") + R"(","protected":true},)"
               R"({"path":"readme.txt","md5":"NONE"}]})");
  serve("models/gta3.img", big);
  serve("data\\settings.cfg", small);
  serve("data/main.scm", "original script");

  LogCapture log;
  play(/*restore=*/false);

  EXPECT_EQ(core.snapshot().phase, CorePhase::Closing) << core.snapshot().message;
  EXPECT_EQ(file_requests(), (std::vector<std::string>{"models/gta3.img", "data\\settings.cfg", "data/main.scm"}));
  EXPECT_EQ(read_text_file(game("models/gta3.img")), big);
  EXPECT_EQ(read_text_file(game("data/settings.cfg")), small);
  EXPECT_EQ(read_text_file(game("data/main.scm")), "original script");
  EXPECT_EQ(read_text_file(game("models/player.dff")), "edited by the user");
  EXPECT_EQ(read_text_file(game("readme.txt")), "whatever the user wrote");
  EXPECT_TRUE(log.has("play: 3 file(s) need download, 300011 byte(s) total"));
  EXPECT_EQ(platform.launches().size(), 1u);
  EXPECT_EQ(VerifyCache(game("z/verify_cache.bin")).records().size(), 4u);

  // A second run finds everything in place and fetches nothing.
  play(/*restore=*/false);
  EXPECT_EQ(file_requests().size(), 3u);
  EXPECT_EQ(platform.launches().size(), 2u);
}

TEST_F(PlayHttpsTest, ManifestNotFoundStartsTheGameUnchecked) {
  LogCapture log;
  play(false);
  EXPECT_TRUE(log.has("play: manifest unavailable, skipping verification"));
  EXPECT_EQ(core.snapshot().phase, CorePhase::Closing);
  EXPECT_EQ(platform.launches().size(), 1u);
  EXPECT_TRUE(file_requests().empty());
}

TEST_F(PlayHttpsTest, BrokenTransfersLeaveThePreviousFile) {
  struct Case {
    const char* name;
    std::string path;
    std::string md5;
    CorePhase phase;
    std::string message;
    std::string log_line;
  };
  const std::vector<Case> cases = {
      {"connection dropped", "cut.bin", md5_hex("anything"), CorePhase::Error, "Не удалось скачать: cut.bin",
       "play: url=" + server.url("/launcher/pc/files/cut.bin")},
      {"wrong content", "wrong.bin", md5_hex("the right content"), CorePhase::Error,
       "Скачанный файл повреждён: wrong.bin", "play: expected md5=" + md5_hex("the right content") + " got=" + md5_hex("wrong")},
      {"cancelled mid-transfer", "cancel.bin", md5_hex("anything"), CorePhase::Idle, "Отменено",
       "play: cancelled during download of cancel.bin"},  // last: the cancel flag stays set
  };
  serve("wrong.bin", "wrong");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_text_file(game(c.path), "previous");
    set_manifest(R"([{"path":")" + c.path + R"(","md5":")" + c.md5 + R"(","locked":true}])");
    LogCapture log;
    play(false);
    const CoreStatus st = core.snapshot();
    EXPECT_EQ(st.phase, c.phase);
    EXPECT_EQ(st.message, c.message);
    EXPECT_TRUE(log.has(c.log_line));
    EXPECT_EQ(read_text_file(game(c.path)), "previous");
    EXPECT_FALSE(std::filesystem::exists(game(c.path + ".part")));
    EXPECT_TRUE(platform.launches().empty());
  }
}

}  // namespace
}  // namespace zelvo::launcher
