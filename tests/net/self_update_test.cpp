#include "net/self_update.hpp"

#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/launcher_core.hpp"
#include "files/file_digest.hpp"
#include "net/curl_http_client.hpp"
#include "platform/linux_platform.hpp"
#include "tests/support/fake_platform.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/support/tls_test_server.hpp"

namespace zelvo::launcher {
namespace {

using test::FakePlatform;
using test::LogCapture;
using test::path_exists;
using test::read_text_file;
using test::TempDir;
using test::TlsTestServer;
using test::write_text_file;

TEST(ParseUpdateInfoTest, ReadsTheEntryOfTheTagWithTypedMembers) {
  const struct {
    const char* name;
    std::string text;
    bool ok;
    UpdateInfo expected;
  } cases[] = {
      {"string members",
       R"({"pc": {"version": "9.9", "url": "/win.exe"},
           "linux": {"version": "0.48", "url": "/launcher/linux/ZelvoLauncher", "md5": "abc"}})",
       true, {"0.48", "/launcher/linux/ZelvoLauncher", "abc"}},
      {"integer version", R"({"linux": {"version": 48, "url": "u"}})", true, {"48.000000", "u", ""}},
      {"float version", R"({"linux": {"version": 0.5, "url": "u"}})", true, {"0.500000", "u", ""}},
      {"members of other types are ignored",
       R"({"linux": {"version": "1", "url": "u", "md5": 5, "extra": []}})", true, {"1", "u", ""}},
      {"only the Windows entry", R"({"pc": {"version": "0.48", "url": "u"}})", false, {}},
      {"no url", R"({"linux": {"version": "0.48"}})", false, {}},
      {"empty version", R"({"linux": {"version": "", "url": "u"}})", false, {}},
      {"version of the wrong type", R"({"linux": {"version": true, "url": "u"}})", false, {}},
      {"url of the wrong type", R"({"linux": {"version": "1", "url": 7}})", false, {}},
      {"entry not an object", R"({"linux": "0.48"})", false, {}},
      {"root not an object", R"([{"linux": {"version": "1", "url": "u"}}])", false, {}},
      {"comments are not JSON", R"({/* c */ "linux": {"version": "1", "url": "u"}})", false, {}},
      {"syntax error", R"({"linux": {"version": "1", "url": "u")", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UpdateInfo info{"keep", "keep", "keep"};
    ASSERT_EQ(parse_update_info(c.text, "linux", info), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(info.version, c.expected.version);
    EXPECT_EQ(info.url, c.expected.url);
    EXPECT_EQ(info.md5, c.expected.md5);
  }
}

TEST(IsNewerVersionTest, ComparesComponentsAsWholeNumbers) {
  const struct {
    const char* remote;
    const char* local;
    bool newer;
  } cases[] = {
      {"0.48", "0.47", true},     {"0.47", "0.47", false},   {"0.47.1", "0.47", true},
      {"0.47.0", "0.47", false},  {"1.0", "0.47", true},     {"0.5", "0.47", false},
      {"0.47b", "0.47", false},   {"0.46", "0.47", false},   {"48.000000", "0.47", true},
      {"0.047", "0.47", false},   {"", "0.47", false},       {"v1.0", "0.47", false},
      {"0.100000000000000000000", "0.99999999999999999999", true},
      {"0.47", "0.47.0.1", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(is_newer_version(c.remote, c.local), c.newer) << c.remote << " vs " << c.local;
  }
}

// A CDN node on loopback HTTPS with update.json and the new launcher, and a
// core whose host is that node.
class SelfUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    new_executable_ = "#!/bin/sh\necho \"$*\" > '" + dir_.file("started.tmp") + "'\nmv '" +
                      dir_.file("started.tmp") + "' '" + dir_.file("started") + "'\n";
    auto& s = server_.server();
    s.Get("/launcher/ping.txt", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("ok", "text/plain");
    });
    s.Get("/launcher/update.json", [this](const httplib::Request&, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (update_json_.empty()) {
        res.status = 404;
        return;
      }
      res.set_content(update_json_, "application/json");
    });
    s.Get("/launcher/linux/ZelvoLauncher", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(new_executable_, "application/octet-stream");
    });
    // Cancels the core after the first piece, then keeps sending.
    s.Get("/launcher/linux/cancelled", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(kBigSize, "application/octet-stream",
                               [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 if (offset > 0) {
                                   std::lock_guard<std::mutex> lock(mutex_);
                                   if (core_) core_->cancel();
                                 }
                                 const std::string piece(std::min<std::size_t>(65536, kBigSize - offset), 'x');
                                 return sink.write(piece.data(), piece.size());
                               });
    });
    server_.start();
  }

  void TearDown() override {
    {
      // A handler may still be cancelling the core.
      std::lock_guard<std::mutex> lock(mutex_);
      core_.reset();
    }
    // The server would wait out the client's kept-alive connection.
    client_.reset();
    server_.stop();
  }

  void serve_update_json(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    update_json_ = text;
  }

  // The linux entry of update.json (the pc entry is always a trap).
  void offer(const std::string& version, const std::string& url, const std::string& md5) {
    serve_update_json(R"({"pc": {"version": "99.0", "url": "/launcher/pc/ZelvoLauncher.exe"},
                         "linux": {"version": ")" + version + R"(", "url": ")" + url +
                      R"(", "md5": ")" + md5 + R"("}})");
  }

  LauncherCore& make_core(IPlatform& platform) {
    CdnConfig cdn;
    cdn.nodes = {server_.base_url()};
    cdn.geo_probe = server_.url("/geo");
    std::lock_guard<std::mutex> lock(mutex_);
    core_ = std::make_unique<LauncherCore>(*client_, platform, cdn);
    core_->set_region("EU");
    return *core_;
  }

  // Host selection and update check as the start-up job runs them.
  LauncherCore& offered_core(IPlatform& platform) {
    LauncherCore& core = make_core(platform);
    EXPECT_TRUE(core.select_host());
    core.check_update();
    return core;
  }

  static constexpr std::size_t kBigSize = 8 << 20;
  TempDir dir_;
  TlsTestServer server_;
  std::unique_ptr<CurlHttpClient> client_ =
      std::make_unique<CurlHttpClient>(server_.ca_file(), HttpTimeouts{3000});
  std::mutex mutex_;
  std::string update_json_;
  std::string new_executable_;
  std::unique_ptr<LauncherCore> core_;
};

TEST_F(SelfUpdateTest, CheckOffersOnlyANewerLinuxEntry) {
  const struct {
    const char* name;
    std::string document;  // empty: update.json answers 404
    bool offered;
    std::string version;
    std::string log_line;
  } cases[] = {
      {"newer", R"({"linux": {"version": "0.48", "url": "/u", "md5": "x"}})", true, "0.48",
       "update: local=0.47 remote=0.48 newer=1 url=/u"},
      {"same", R"({"linux": {"version": "0.47", "url": "/u"}})", false, "",
       "update: local=0.47 remote=0.47 newer=0 url=/u"},
      {"windows entry only", R"({"pc": {"version": "0.48", "url": "/u"}})", false, "",
       "update: no entry for tag 'linux'"},
      {"no update.json", "", false, "", "update: update.json unavailable, skipping"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    serve_update_json(c.document);
    LauncherCore& core = make_core(platform);
    ASSERT_TRUE(core.select_host());
    LogCapture log;
    core.check_update();
    const CoreStatus status = core.snapshot();
    EXPECT_EQ(status.update_available, c.offered);
    EXPECT_EQ(status.update_version, c.version);
    EXPECT_TRUE(log.contains("update: GET " + server_.base_url() + "/launcher/update.json?t="));
    EXPECT_TRUE(log.has(c.log_line));
    EXPECT_EQ(status.phase, CorePhase::Idle) << "the check writes no status";
  }
}

TEST_F(SelfUpdateTest, CheckWithoutAHostDoesNothing) {
  FakePlatform platform;
  offer("0.48", "/launcher/linux/ZelvoLauncher", "NONE");
  LauncherCore& core = make_core(platform);
  LogCapture log;
  core.check_update();
  EXPECT_FALSE(core.snapshot().update_available);
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(SelfUpdateTest, DownloadsVerifiesSwapsAndRestartsTheLauncher) {
  const struct {
    const char* name;
    std::string url;
    std::string md5;
  } cases[] = {
      {"path on the host, digest checked", "/launcher/linux/ZelvoLauncher", md5_hex(new_executable_)},
      {"absolute url, no digest", server_.url("/launcher/linux/ZelvoLauncher"), "NONE"},
      {"empty digest", "/launcher/linux/ZelvoLauncher", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir install;
    const std::string exe = install.file("ZelvoLauncher");
    write_text_file(exe, "old launcher");
    ::chmod(exe.c_str(), 0755);
    ::unlink(dir_.file("started").c_str());
    LinuxPlatform platform("", exe);
    offer("0.48", c.url, c.md5);
    LauncherCore& core = offered_core(platform);
    ASSERT_TRUE(core.snapshot().update_available);

    LogCapture log;
    core.run_self_update();
    const CoreStatus status = core.snapshot();
    EXPECT_EQ(status.phase, CorePhase::Closing);
    EXPECT_EQ(status.message, "Перезапуск...");
    EXPECT_EQ(read_text_file(exe), new_executable_);
    EXPECT_EQ(read_text_file(exe + ".old"), "old launcher");
    EXPECT_TRUE(log.contains("update: download " + server_.url("/launcher/linux/ZelvoLauncher?t=")));
    EXPECT_TRUE(log.contains(" -> " + exe + ".update"));
    EXPECT_TRUE(log.has("update: applying " + exe + ".update"));
    for (int i = 0; i < 500 && !path_exists(dir_.file("started")); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(read_text_file(dir_.file("started")), "--updated\n");
  }
}

TEST_F(SelfUpdateTest, DigestMismatchRemovesTheDownload) {
  // The digest is compared byte for byte: upper-case hex is a mismatch too.
  std::string upper = md5_hex(new_executable_);
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  for (const std::string& md5 : {std::string(32, '0'), upper}) {
    SCOPED_TRACE(md5);
    FakePlatform platform;
    platform.set_update_file_path(dir_.file("ZelvoLauncher.update"));
    offer("0.48", "/launcher/linux/ZelvoLauncher", md5);
    LauncherCore& core = offered_core(platform);
    LogCapture log;
    core.run_self_update();

    const CoreStatus status = core.snapshot();
    EXPECT_EQ(status.phase, CorePhase::Error);
    EXPECT_EQ(status.message, "Обновление повреждено (MD5).");
    EXPECT_FALSE(path_exists(dir_.file("ZelvoLauncher.update")));
    EXPECT_TRUE(platform.applied_updates().empty());
    EXPECT_TRUE(log.has("update: file=" + dir_.file("ZelvoLauncher.update")));
    EXPECT_TRUE(log.has("update: expected md5=" + md5 + " got=" + md5_hex(new_executable_)));
    EXPECT_TRUE(log.has("ERROR: Обновление повреждено (MD5)."));
  }
}

TEST_F(SelfUpdateTest, UnfinishedDownloadLeavesNothingToInstall) {
  const std::string dest = dir_.file("ZelvoLauncher.update");
  const struct {
    const char* name;
    std::string url;
    CorePhase phase;
    std::string message;
    std::vector<std::string> lines;       // logged exactly
    std::vector<std::string> fragments;   // contained in a logged line
    std::vector<std::string> removed;
  } cases[] = {
      {"failed, reported with hints", "/launcher/linux/missing", CorePhase::Error,
       "Не удалось скачать обновление.", {"update: dest=" + dest},
       {"update: url=" + server_.url("/launcher/linux/missing?t="), "update hint: "}, {}},
      {"cancelled, partial file removed", "/launcher/linux/cancelled", CorePhase::Idle, "Отменено",
       {"update: cancelled"}, {}, {dest}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform platform;
    platform.set_update_file_path(dest);
    offer("0.48", c.url, "NONE");
    LauncherCore& core = offered_core(platform);
    LogCapture log;
    core.run_self_update();

    const CoreStatus status = core.snapshot();
    EXPECT_EQ(status.phase, c.phase);
    EXPECT_EQ(status.message, c.message);
    EXPECT_EQ(status.progress, 0.0f);
    for (const std::string& line : c.lines) EXPECT_TRUE(log.has(line)) << line;
    for (const std::string& fragment : c.fragments) EXPECT_TRUE(log.contains(fragment)) << fragment;
    EXPECT_EQ(platform.removed_files(), c.removed);
    EXPECT_FALSE(path_exists(dest));
    EXPECT_TRUE(platform.applied_updates().empty());
  }
}

TEST_F(SelfUpdateTest, InstallFailureWithdrawsTheOfferAndAsksForAManualInstall) {
  FakePlatform platform;
  platform.set_update_file_path(dir_.file("ZelvoLauncher.update"));
  platform.set_apply_update_result(false);
  offer("0.48", "/launcher/linux/ZelvoLauncher", md5_hex(new_executable_));
  LauncherCore& core = offered_core(platform);
  core.run_self_update();

  const CoreStatus status = core.snapshot();
  EXPECT_EQ(platform.applied_updates(), std::vector<std::string>{dir_.file("ZelvoLauncher.update")});
  EXPECT_EQ(status.phase, CorePhase::Idle);
  EXPECT_EQ(status.message, "Установите обновление");
  EXPECT_EQ(status.progress, 1.0f);
  EXPECT_FALSE(status.busy);
  EXPECT_FALSE(status.update_available);
  EXPECT_EQ(status.update_version, "");
}

TEST_F(SelfUpdateTest, UnpreparableFolderOrNoOfferStopsBeforeDownloading) {
  write_text_file(dir_.file("plain"), "a file where the launcher's folder should be");
  LinuxPlatform platform("", dir_.file("plain/ZelvoLauncher"));
  offer("0.48", "/launcher/linux/ZelvoLauncher", "NONE");
  LauncherCore& core = make_core(platform);
  ASSERT_TRUE(core.select_host());

  const CoreStatus before = core.snapshot();
  LogCapture log;
  core.run_self_update();
  EXPECT_TRUE(log.has("update: nothing to apply"));
  EXPECT_EQ(core.snapshot().phase, before.phase);
  EXPECT_EQ(core.snapshot().message, before.message);

  core.check_update();
  core.run_self_update();
  const CoreStatus status = core.snapshot();
  EXPECT_EQ(status.phase, CorePhase::Error);
  EXPECT_EQ(status.message, "Не удалось подготовить каталог для обновления лаунчера");
  for (const std::string& request : server_.requests()) {
    EXPECT_EQ(request.find("/launcher/linux/"), std::string::npos) << request;
  }
}

}  // namespace
}  // namespace zelvo::launcher
