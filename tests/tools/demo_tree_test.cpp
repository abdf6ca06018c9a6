// The demo tree served by the local CDN server carries the launcher through
// host selection, the server list and a whole Play run.
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/launcher_core.hpp"
#include "files/file_digest.hpp"
#include "files/manifest.hpp"
#include "net/curl_http_client.hpp"
#include "net/self_update.hpp"
#include "tests/support/fake_platform.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/temp_dir.hpp"
#include "tools/cdn_server.hpp"
#include "tools/demo_tree.hpp"

namespace zelvo::launcher {
namespace {

using test::FakePlatform;
using test::LogCapture;
using test::read_text_file;
using test::TempDir;

class DemoTreeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tree = new TempDir;
    std::string error;
    ASSERT_TRUE(write_demo_tree(tree->path(), error)) << error;
  }
  static void TearDownTestSuite() {
    delete tree;
    tree = nullptr;
  }

  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server.start({tree->path(), 0, certs.file("tls")}, {}, error)) << error;
  }

  CdnConfig cdn() const {
    const std::string base = server.base_url();
    // The geo probe answers, so automatic mode prefers the EU node.
    return CdnConfig{{base + "/cdn-ru", base + "/cdn-eu"}, base + "/geo.ico", server.ca_file()};
  }

  static TempDir* tree;
  TempDir certs;
  CdnServer server;
};

TempDir* DemoTreeTest::tree = nullptr;

TEST_F(DemoTreeTest, LauncherSelectsAHostLoadsServersAndPlays) {
  struct RegionCase {
    std::string forced_region;
    std::string node;
  };
  for (const RegionCase& c : {RegionCase{"", "/cdn-eu"}, RegionCase{"ru", "/cdn-ru"}}) {
    SCOPED_TRACE("region '" + c.forced_region + "'");
    TempDir game;
    CurlHttpClient client(server.ca_file(), HttpTimeouts{5000});
    FakePlatform platform(game.path());
    LauncherCore core(client, platform, cdn());
    if (!c.forced_region.empty()) core.set_region(c.forced_region);
    LogCapture log;

    std::promise<bool> selected;
    core.post_job([&] {
      const bool ok = core.select_host();
      if (ok) core.fetch_servers();
      selected.set_value(ok);
    });
    ASSERT_TRUE(selected.get_future().get()) << core.snapshot().message;
    EXPECT_EQ(core.current_host(), server.base_url() + c.node);
    EXPECT_TRUE(log.has("servers: online.php unavailable, trying servers.json"));

    std::vector<ServerEntry> servers;
    ASSERT_TRUE(core.take_servers(servers));
    ASSERT_EQ(servers.size(), 4u);
    int up = 0;
    int disabled = 0;
    for (const auto& s : servers) {
      up += s.online ? 1 : 0;
      disabled += s.enabled ? 0 : 1;
    }
    EXPECT_EQ(up, 2);
    EXPECT_EQ(disabled, 1);

    std::promise<void> played;
    core.post_job([&] {
      core.run_play("Tester", servers[0], false);
      played.set_value();
    });
    played.get_future().get();
    EXPECT_EQ(core.snapshot().phase, CorePhase::Closing) << core.snapshot().message;
    ASSERT_EQ(platform.launches().size(), 1u);
    EXPECT_EQ(platform.launches()[0].server.port, 7777);

    const FileManifest manifest =
        FileManifest::parse(read_text_file(tree->file("cdn-ru/launcher/pc/files.json")));
    ASSERT_GE(manifest.files.size(), 8u);
    for (const auto& entry : manifest.files)
      EXPECT_EQ(md5_file(game.file(entry.path)), entry.md5) << entry.path;
  }
}

TEST_F(DemoTreeTest, TreeHasBothRegionsWithTheSameRealContent) {
  const auto manifest_text = read_text_file(tree->file("cdn-ru/launcher/pc/files.json"));
  const FileManifest manifest = FileManifest::parse(manifest_text);
  EXPECT_EQ(manifest.base_url, "");
  std::int64_t total = 0;
  bool has_exe = false;
  bool nested = false;
  bool any_protected = false;
  for (const auto& entry : manifest.files) {
    total += entry.size;
    has_exe = has_exe || entry.path == "gta_sa.exe";
    nested = nested || entry.path.find('/') != entry.path.rfind('/');
    any_protected = any_protected || entry.is_protected;
  }
  EXPECT_TRUE(has_exe);
  EXPECT_TRUE(nested);
  EXPECT_TRUE(any_protected);
  EXPECT_GT(total, 2 * 1024 * 1024);

  for (const char* rel : {"ping.txt", "servers.json", "update.json", "pc/files.json"}) {
    const std::string ru = read_text_file(tree->file(std::string("cdn-ru/launcher/") + rel));
    EXPECT_FALSE(ru.empty()) << rel;
    EXPECT_EQ(read_text_file(tree->file(std::string("cdn-eu/launcher/") + rel)), ru) << rel;
  }
  EXPECT_FALSE(std::filesystem::exists(tree->file("cdn-ru/launcher/online.php")));

  // The published build is the one described, and it is not newer than the launcher.
  const std::string update = read_text_file(tree->file("cdn-eu/launcher/update.json"));
  for (const char* tag : {"pc", "linux"}) {
    UpdateInfo info;
    ASSERT_TRUE(parse_update_info(update, tag, info)) << tag;
    EXPECT_EQ(md5_file(tree->file("cdn-eu" + info.url)), info.md5) << tag;
    EXPECT_FALSE(is_newer_version(info.version, "0.47")) << tag;
  }

  // Writing again over an existing tree gives the same tree.
  std::string error;
  ASSERT_TRUE(write_demo_tree(tree->path(), error)) << error;
  EXPECT_EQ(read_text_file(tree->file("cdn-ru/launcher/pc/files.json")), manifest_text);
}

}  // namespace
}  // namespace zelvo::launcher
