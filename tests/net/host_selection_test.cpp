#include "net/host_selection.hpp"

#include <gtest/gtest.h>

#include "core/launcher_core.hpp"
#include "net/curl_http_client.hpp"
#include "tests/support/fake_platform.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/tls_test_server.hpp"

namespace zelvo::launcher {
namespace {

using test::LogCapture;
using test::TlsTestServer;

TEST(RegionOfUrl, MarkersInOrder) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"https://cdn-ru.zelvo-online.ru", "RU"},
      {"https://cdn-eu.zelvo-online.com", "EU"},
      {"https://node-ru-1.example.com", "RU"},
      {"https://cdn-ru.example.com/files-eu", "RU"},  // RU markers are tested first
      {"https://example.com/mirror-eu", "EU"},
      {"https://CDN-RU.example.com", ""},  // case-sensitive
      {"https://example.com/ru/eu", ""},
  };
  for (const auto& [url, region] : cases) EXPECT_EQ(region_of_url(url), region) << url;
}

TEST(OrderNodes, PreferredRegionFirstEachGroupInListOrder) {
  const std::vector<std::string> nodes = {"https://a/cdn-ru", "https://b/cdn-eu",
                                          "https://c/plain", "https://d/cdn-eu"};
  struct Case {
    std::string region;
    std::vector<std::string> order;
  };
  const std::vector<Case> cases = {
      {"eu", {"https://b/cdn-eu", "https://d/cdn-eu", "https://a/cdn-ru", "https://c/plain"}},
      {"EU", {"https://b/cdn-eu", "https://d/cdn-eu", "https://a/cdn-ru", "https://c/plain"}},
      {"ru", nodes},
      {"xx", nodes},
      {"", {"https://c/plain", "https://a/cdn-ru", "https://b/cdn-eu", "https://d/cdn-eu"}},
  };
  for (const Case& c : cases) EXPECT_EQ(order_nodes(c.region, nodes), c.order) << c.region;
}

// LauncherCore with the real client against a loopback CDN whose nodes are
// paths carrying the region markers; a node or the geo site that is "down"
// is a URL where nothing listens.
class SelectHostTest : public ::testing::Test {
 protected:
  SelectHostTest() {
    server_.server().Get(R"(/(cdn-ru|cdn-eu)/launcher/ping.txt)",
                         [](const httplib::Request&, httplib::Response& res) {
                           res.set_content("pong", "text/plain");
                         });
    server_.server().Get("/favicon.ico", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("icon", "image/x-icon");
    });
    server_.start();
  }

  std::string node(const std::string& region, bool up) const {
    return (up ? server_.base_url() : down_) + "/cdn-" + region;
  }
  CdnConfig config(bool geo_up, bool ru_up, bool eu_up) const {
    CdnConfig cdn;
    cdn.nodes = {node("ru", ru_up), node("eu", eu_up)};
    cdn.geo_probe = (geo_up ? server_.base_url() : down_) + "/favicon.ico";
    cdn.ca_file = server_.ca_file();
    return cdn;
  }

  TlsTestServer server_;
  std::string down_ = test::refused_base_url();
  test::FakePlatform platform_;
};

TEST_F(SelectHostTest, PicksTheFirstReachableNodeOfThePreferredRegion) {
  struct Case {
    std::string name;
    std::string forced;
    bool geo_up, ru_up, eu_up;
    std::vector<std::string> lines;  // expected in this order; NODE_RU/NODE_EU/GEO replaced
    std::string host;                // "ru" or "eu"
  };
  const std::vector<Case> cases = {
      {"auto, geo site answers", "", true, true, true,
       {"geo: GEO reachable in ", "host: using NODE_EU (EU)"}, "eu"},
      {"auto, geo site blocked", "", false, true, true,
       {"geo: GEO blocked/unreachable in ", "host: using NODE_RU (RU)"}, "ru"},
      {"forced ru, ru down", "ru", true, false, true,
       {"host: region forced to 'ru'", "host: NODE_RU -> not reachable",
        "host: using NODE_EU (EU)"},
       "eu"},
      {"forced EU", "EU", false, true, true,
       {"host: region forced to 'EU'", "host: using NODE_EU (EU)"}, "eu"},
      {"forced unknown region keeps list order", "de", true, true, true,
       {"host: region forced to 'de'", "host: using NODE_RU (RU)"}, "ru"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CdnConfig cdn = config(c.geo_up, c.ru_up, c.eu_up);
    CurlHttpClient client(cdn.ca_file);
    LauncherCore core(client, platform_, cdn);
    core.set_region(c.forced);
    LogCapture log;

    ASSERT_TRUE(core.select_host());

    const std::string host = c.host == "ru" ? cdn.nodes[0] : cdn.nodes[1];
    EXPECT_EQ(core.current_host(), host);
    const CoreStatus status = core.snapshot();
    EXPECT_EQ(status.phase, CorePhase::Idle);
    EXPECT_EQ(status.message, "Подключено через " + host);
    EXPECT_EQ(status.progress, 1.0f);

    const std::vector<std::string> lines = log.lines();
    std::size_t at = 0;
    for (std::string expected : c.lines) {
      for (const auto& [key, value] :
           {std::pair{"NODE_RU", cdn.nodes[0]}, {"NODE_EU", cdn.nodes[1]}, {"GEO", cdn.geo_probe}}) {
        if (const auto pos = expected.find(key); pos != std::string::npos)
          expected.replace(pos, std::string(key).size(), value);
      }
      while (at < lines.size() && !lines[at].starts_with(expected)) ++at;
      EXPECT_LT(at, lines.size()) << "missing or out of order: " << expected;
    }
    EXPECT_EQ(log.contains("geo: "), c.forced.empty());
  }
}

TEST_F(SelectHostTest, GeoLineShowsTimeAndRegion) {
  const CdnConfig cdn = config(true, true, true);
  CurlHttpClient client(cdn.ca_file);
  LauncherCore core(client, platform_, cdn);
  LogCapture log;
  ASSERT_TRUE(core.select_host());
  bool found = false;
  for (const std::string& line : log.lines()) {
    int ms = -1;
    const std::string prefix = "geo: " + cdn.geo_probe + " reachable in ";
    if (!line.starts_with(prefix)) continue;
    found = std::sscanf(line.c_str() + prefix.size(), "%d ms -> region eu", &ms) == 1 &&
            line.ends_with(" ms -> region eu") && ms >= 0;
  }
  EXPECT_TRUE(found);
}

TEST_F(SelectHostTest, AllNodesDownFailsWithHints) {
  const CdnConfig cdn = config(true, false, false);
  CurlHttpClient client(cdn.ca_file);
  LauncherCore core(client, platform_, cdn);
  LogCapture log;

  EXPECT_FALSE(core.select_host());

  EXPECT_EQ(core.current_host(), "");
  const CoreStatus status = core.snapshot();
  EXPECT_EQ(status.phase, CorePhase::Error);
  EXPECT_EQ(status.message, "CDN недоступны. Проверь интернет или попробуй позже.");
  const std::vector<std::string> tail = {
      "host: all 2 CDN node(s) unreachable",
      "host hint: проверьте интернет-соединение",
      "host hint: отключите VPN/прокси или смените DNS (например, 8.8.8.8)",
      "host hint: файрвол/антивирус может блокировать доступ к CDN",
      "host hint: попробуйте позже — CDN может быть временно недоступен",
      "ERROR: CDN недоступны. Проверь интернет или попробуй позже.",
  };
  const std::vector<std::string> lines = log.lines();
  ASSERT_GE(lines.size(), tail.size());
  EXPECT_EQ(std::vector<std::string>(lines.end() - static_cast<long>(tail.size()), lines.end()),
            tail);
}

TEST_F(SelectHostTest, EmptyNodeListFails) {
  CdnConfig cdn = config(true, true, true);
  cdn.nodes.clear();
  CurlHttpClient client(cdn.ca_file);
  LauncherCore core(client, platform_, cdn);
  EXPECT_FALSE(core.select_host());
  EXPECT_EQ(core.snapshot().phase, CorePhase::Error);
  EXPECT_EQ(core.snapshot().message, "Список CDN-узлов пуст.");
}

}  // namespace
}  // namespace zelvo::launcher
