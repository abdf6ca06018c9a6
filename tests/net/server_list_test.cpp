#include "net/server_list.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "core/launcher_core.hpp"
#include "net/curl_http_client.hpp"
#include "tests/support/fake_platform.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/tls_test_server.hpp"

namespace zelvo::launcher {
namespace {

using test::LogCapture;
using test::TlsTestServer;

bool same(const ServerEntry& a, const ServerEntry& b) {
  return a.id == b.id && a.name == b.name && a.address == b.address && a.port == b.port &&
         a.mode == b.mode && a.map == b.map && a.players == b.players &&
         a.maxplayers == b.maxplayers && a.enabled == b.enabled && a.online == b.online;
}

ServerEntry entry(std::string address) {
  ServerEntry e;
  e.address = std::move(address);
  return e;
}

TEST(ParseServerList, MemberRules) {
  struct Case {
    std::string name;
    std::string text;
    std::vector<ServerEntry> expected;
  };
  ServerEntry full;
  full.id = "s1";
  full.name = "Zelvo #1";
  full.address = "play.example.com";
  full.port = 7778;
  full.mode = "RP";
  full.map = "LS";
  full.players = 12;
  full.maxplayers = 500;
  ServerEntry named_ip = entry("10.0.0.1");
  named_ip.name = "only ip";
  ServerEntry disabled = entry("a");
  disabled.enabled = false;
  disabled.online = false;
  ServerEntry offline_live = entry("b");
  offline_live.online = false;
  ServerEntry gamemode = entry("c");
  gamemode.mode = "DM";
  ServerEntry mode_first = entry("d");
  mode_first.mode = "RP";
  ServerEntry truncated = entry("e");
  truncated.players = static_cast<std::int32_t>(4294967297LL & 0xffffffff);
  truncated.maxplayers = -5;

  const std::vector<Case> cases = {
      {"all members", R"([{"id":"s1","name":"Zelvo #1","address":"play.example.com","port":7778,
         "mode":"RP","map":"LS","players":12,"maxplayers":500,"enabled":true,"online":true,
         "extra":[1]}])",
       {full}},
      {"ip only with defaults", R"([{"name":"only ip","ip":"10.0.0.1"}])", {named_ip}},
      {"empty address falls back to ip, string port ignored",
       R"({"servers":[{"address":"","ip":"10.0.0.2","port":"7778"}]})", {entry("10.0.0.2")}},
      {"address wins over ip", R"([{"address":"x","ip":"y"}])", {entry("x")}},
      {"float port and wrong types ignored",
       R"([{"address":"f","port":7777.5,"name":5,"players":"3","enabled":"no"}])", {entry("f")}},
      {"disabled is never online", R"([{"address":"a","enabled":false,"online":true}])",
       {disabled}},
      {"online_live used when online is not a boolean",
       R"([{"address":"b","online":"yes","online_live":false}])", {offline_live}},
      {"online wins over online_live", R"([{"address":"g","online":true,"online_live":false}])",
       {entry("g")}},
      {"gamemode when mode is empty", R"([{"address":"c","mode":"","gamemode":"DM"}])",
       {gamemode}},
      {"mode wins over gamemode", R"([{"address":"d","mode":"RP","gamemode":"DM"}])",
       {mode_first}},
      {"integers cut to 32 bits", R"([{"address":"e","players":4294967297,"maxplayers":-5}])",
       {truncated}},
      {"no address dropped, non-objects skipped, order and duplicates kept",
       R"({"servers":[{"name":"none"},1,"x",null,{"ip":"2"},{"ip":"1"},{"ip":"2"}],"other":1})",
       {entry("2"), entry("1"), entry("2")}},
      {"servers member not an array", R"({"servers":{"address":"a"}})", {}},
      {"scalar root", R"("servers")", {}},
      {"invalid json", R"([{"address":"a"})", {}},
      {"comments are not json", "[/* c */{\"address\":\"a\"}]", {}},
      {"empty text", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<ServerEntry> got = parse_server_list(c.text);
    ASSERT_EQ(got.size(), c.expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_TRUE(same(got[i], c.expected[i])) << "entry " << i << " address=" << got[i].address;
    }
  }
}

// fetch_servers against a loopback CDN node; each resource answers with the
// status set by the test.
class FetchServersTest : public ::testing::Test {
 protected:
  FetchServersTest() {
    for (const auto& [path, status] : {std::pair{"/cdn-ru/launcher/online.php", &online_status_},
                                       std::pair{"/cdn-ru/launcher/servers.json",
                                                 &static_status_}}) {
      server_.server().Get(path, [this, status](const httplib::Request& req,
                                                httplib::Response& res) {
        std::lock_guard<std::mutex> lock(mutex_);
        res.status = status->load();
        res.set_content(req.path.ends_with(".php") ? online_body_ : static_body_,
                        "application/json");
      });
    }
    server_.server().Get("/cdn-ru/launcher/ping.txt",
                         [](const httplib::Request&, httplib::Response& res) {
                           res.set_content("pong", "text/plain");
                         });
    server_.start();
    core_.set_region("ru");
    EXPECT_TRUE(core_.select_host());
  }

  std::vector<std::string> addresses() {
    std::vector<ServerEntry> list;
    if (!core_.take_servers(list)) return {"<unchanged>"};
    std::vector<std::string> out;
    for (const ServerEntry& s : list) out.push_back(s.address);
    return out;
  }

  CdnConfig node_config() const {
    CdnConfig cdn;
    cdn.nodes = {server_.url("/cdn-ru")};
    return cdn;
  }
  void set_online_body(const std::string& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    online_body_ = body;
  }

  TlsTestServer server_;
  std::atomic<int> online_status_{200};
  std::atomic<int> static_status_{200};
  std::mutex mutex_;
  std::string online_body_ = R"([{"address":"1.1.1.1"},{"ip":"2.2.2.2"}])";
  std::string static_body_ = R"({"servers":[{"address":"3.3.3.3"}]})";
  CdnConfig cdn_ = node_config();
  CurlHttpClient client_{server_.ca_file()};
  test::FakePlatform platform_;
  LauncherCore core_{client_, platform_, cdn_};
};

TEST_F(FetchServersTest, OnlinePhpFirstThenServersJson) {
  {
    LogCapture log;
    core_.fetch_servers();
    EXPECT_EQ(addresses(), (std::vector<std::string>{"1.1.1.1", "2.2.2.2"}));
    EXPECT_TRUE(log.has("servers: GET " + server_.url("/cdn-ru/launcher/online.php")));
    EXPECT_TRUE(log.has("servers: parsed 2 server(s)"));
    EXPECT_FALSE(log.contains("trying servers.json"));
    EXPECT_EQ(core_.snapshot().message, "Готово");
  }
  {
    online_status_ = 500;
    LogCapture log;
    core_.fetch_servers();
    EXPECT_EQ(addresses(), (std::vector<std::string>{"3.3.3.3"}));
    const std::vector<std::string> expected = {
        "servers: GET " + server_.url("/cdn-ru/launcher/online.php"),
        "servers: online.php unavailable, trying servers.json",
        "servers: parsed 1 server(s)",
    };
    EXPECT_EQ(log.lines(), expected);
    const CoreStatus status = core_.snapshot();
    EXPECT_EQ(status.phase, CorePhase::Idle);
    EXPECT_EQ(status.message, "Готово");
  }
}

TEST_F(FetchServersTest, BothFailingKeepsThePreviousList) {
  core_.fetch_servers();
  ASSERT_EQ(addresses(), (std::vector<std::string>{"1.1.1.1", "2.2.2.2"}));

  online_status_ = 404;
  static_status_ = 503;
  LogCapture log;
  core_.fetch_servers();

  EXPECT_EQ(addresses(), std::vector<std::string>{"<unchanged>"});
  const CoreStatus status = core_.snapshot();
  EXPECT_EQ(status.phase, CorePhase::Error);
  EXPECT_EQ(status.message, "Не удалось загрузить список серверов.");
  const std::string fallback = server_.url("/cdn-ru/launcher/servers.json");
  const std::vector<std::string> expected = {
      "servers: GET " + server_.url("/cdn-ru/launcher/online.php"),
      "servers: online.php unavailable, trying servers.json",
      "servers: url=" + fallback,
      "servers: reason: GET " + fallback + " returned HTTP 503 (Service Unavailable)",
      "servers hint: проверьте интернет и доступность CDN",
      "servers hint: online.php и servers.json оба недоступны на выбранном узле",
      "servers hint: перезапустите лаунчер для выбора другого CDN",
      "ERROR: Не удалось загрузить список серверов.",
  };
  EXPECT_EQ(log.lines(), expected);

  // The kept list is still the one shown; the next good fetch replaces it.
  online_status_ = 200;
  core_.fetch_servers();
  EXPECT_EQ(addresses(), (std::vector<std::string>{"1.1.1.1", "2.2.2.2"}));
}

TEST_F(FetchServersTest, UnusableDocumentGivesAnEmptyListNotAnError) {
  set_online_body(R"({"servers":{"address":"a"}})");
  core_.fetch_servers();
  EXPECT_EQ(addresses(), std::vector<std::string>{});
  EXPECT_EQ(core_.snapshot().phase, CorePhase::Idle);
  EXPECT_EQ(core_.snapshot().message, "Готово");
}

}  // namespace
}  // namespace zelvo::launcher
