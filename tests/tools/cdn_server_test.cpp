// The local CDN server answering the launcher's own HTTP client and a raw
// HTTP client for what the launcher does not send (ranges, escaping paths).
#include <fcntl.h>
#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/curl_http_client.hpp"
#include "tests/support/temp_dir.hpp"
#include "tools/cdn_server.hpp"

namespace zelvo::launcher {
namespace {

using test::read_text_file;
using test::TempDir;
using test::write_text_file;

std::string pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + 7) % 251);
  return s;
}

class CdnServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    write_text_file(root.file("cdn-ru/launcher/ping.txt"), "ok\n");
    write_text_file(root.file("cdn-eu/launcher/ping.txt"), "ok\n");
    write_text_file(root.file("cdn-ru/launcher/pc/files/models/big.img"), big);
    write_text_file(root.file("cdn-ru/launcher/empty.txt"), "");
    write_text_file(outside.file("secret.txt"), "not for the web");
    std::filesystem::create_symlink(outside.file("secret.txt"), root.file("cdn-ru/link.txt"));

    CdnServerOptions options;
    options.root = root.path();
    options.tls_dir = certs.file("tls");
    std::string error;
    ASSERT_TRUE(server.start(options, [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(log_mutex);
      log.push_back(line);
    }, error)) << error;
    ASSERT_GT(server.port(), 0);
  }

  std::string url(const std::string& path) const { return server.base_url() + path; }

  std::unique_ptr<httplib::SSLClient> raw_client() const {
    auto client = std::make_unique<httplib::SSLClient>("127.0.0.1", server.port());
    client->set_ca_cert_path(server.ca_file());
    client->enable_server_certificate_verification(true);
    return client;
  }

  std::vector<std::string> log_lines() {
    std::lock_guard<std::mutex> lock(log_mutex);
    return log;
  }

  TempDir root;
  TempDir outside;
  TempDir certs;
  const std::string big = pattern(300000);
  CdnServer server;
  std::mutex log_mutex;
  std::vector<std::string> log;
};

TEST_F(CdnServerTest, AnswersTheLauncherClientWithTheCaItCreated) {
  EXPECT_EQ(server.ca_file(), certs.file("tls") + "/ca.pem");
  CurlHttpClient client(server.ca_file(), HttpTimeouts{5000});

  EXPECT_TRUE(client.head(url("/cdn-ru/launcher/ping.txt"), 2000)) << client.last_error();
  std::string body;
  ASSERT_TRUE(client.get(url("/cdn-eu/launcher/ping.txt"), body, 5)) << client.last_error();
  EXPECT_EQ(body, "ok\n");
  body.clear();
  EXPECT_TRUE(client.get(url("/cdn-ru/launcher/empty.txt"), body, 5)) << client.last_error();
  EXPECT_EQ(body, "");

  const std::string dest = certs.file("big.img");
  std::int64_t last_total = 0;
  ASSERT_TRUE(client.download(url("/cdn-ru/launcher/pc/files/models/big.img"), dest,
                              [&](std::int64_t, std::int64_t total) {
                                last_total = total;
                                return true;
                              }))
      << client.last_error();
  EXPECT_EQ(read_text_file(dest), big);
  EXPECT_EQ(last_total, static_cast<std::int64_t>(big.size()));  // Content-Length was sent

  body.clear();
  EXPECT_FALSE(client.get(url("/cdn-ru/launcher/servers.json"), body, 5));
  EXPECT_FALSE(client.get(url("/cdn-ru/launcher"), body, 5));  // folders are not listed
}

TEST_F(CdnServerTest, HeadAndRangesCarryExactLengths) {
  auto client = raw_client();
  auto head = client->Head("/cdn-ru/launcher/pc/files/models/big.img");
  ASSERT_TRUE(head) << httplib::to_string(head.error());
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(big.size()));
  EXPECT_EQ(head->body, "");

  struct RangeCase {
    std::string range;
    int status;
    std::string body;
    std::string content_range;
  };
  const std::vector<RangeCase> cases = {
      {"bytes=10-19", 206, big.substr(10, 10), "bytes 10-19/300000"},
      {"bytes=299990-", 206, big.substr(299990), "bytes 299990-299999/300000"},
      {"bytes=-5", 206, big.substr(299995), "bytes 299995-299999/300000"},
      {"bytes=299999-400000", 206, big.substr(299999), "bytes 299999-299999/300000"},
      {"bytes=300000-", 416, "", "bytes */300000"},
      {"bytes=0-0,5-5", 200, big, ""},  // several ranges: the whole file
  };
  for (const auto& c : cases) {
    auto res = client->Get("/cdn-ru/launcher/pc/files/models/big.img", {{"Range", c.range}});
    ASSERT_TRUE(res) << c.range;
    EXPECT_EQ(res->status, c.status) << c.range;
    EXPECT_TRUE(res->body == c.body) << c.range << ": " << res->body.size() << " bytes";
    EXPECT_EQ(res->get_header_value("Content-Range"), c.content_range) << c.range;
  }
}

TEST_F(CdnServerTest, NothingOutsideTheRootIsServed) {
  auto client = raw_client();
  for (const char* path : {"/../" , "/cdn-ru/../../secret.txt", "/%2e%2e/secret.txt",
                           "/cdn-ru/%2E%2E/%2e%2e/secret.txt", "/cdn-ru/link.txt"}) {
    auto res = client->Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 403) << path;
    EXPECT_EQ(res->body.find("not for the web"), std::string::npos) << path;
  }
  auto missing = client->Get("/cdn-ru/launcher/nothing.txt");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
}

TEST_F(CdnServerTest, AFifoInTheTreeIsNotFoundWithoutWaitingForAWriter) {
  const std::string fifo = root.file("cdn-ru/launcher/pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto client = raw_client();
  client->set_read_timeout(2, 0);
  auto res = client->Get("/cdn-ru/launcher/pipe");
  // Lets a server stuck opening the FIFO go on, so the test ends either way.
  const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (writer >= 0) ::close(writer);
  ASSERT_TRUE(res) << httplib::to_string(res.error());
  EXPECT_EQ(res->status, 404);
}

TEST_F(CdnServerTest, LogsOneLinePerRequest) {
  auto client = raw_client();
  ASSERT_TRUE(client->Get("/cdn-ru/launcher/ping.txt"));
  ASSERT_TRUE(client->Get("/cdn-ru/launcher/nothing.txt"));
  ASSERT_TRUE(client->Get("/cdn-ru/launcher/ping.txt", {{"Range", "bytes=0-0"}}));
  server.stop();  // the last line is written before the answer's end is seen
  EXPECT_EQ(log_lines(), (std::vector<std::string>{
                             "GET /cdn-ru/launcher/ping.txt -> 200",
                             "GET /cdn-ru/launcher/nothing.txt -> 404",
                             "GET /cdn-ru/launcher/ping.txt range=bytes=0-0 -> 206",
                         }));
}

TEST_F(CdnServerTest, OnlyTheOwnerCanReadTheServerKey) {
  const struct {
    const char* file;
    mode_t mode;
  } cases[] = {{"server-key.pem", 0600}, {"server.pem", 0644}, {"ca.pem", 0644}};
  for (const auto& c : cases) {
    struct stat st {};
    ASSERT_EQ(::stat((certs.file("tls") + "/" + c.file).c_str(), &st), 0) << c.file;
    EXPECT_EQ(st.st_mode & 0777, c.mode) << c.file;
  }
}

TEST_F(CdnServerTest, ReusesItsCertificatesOnTheNextStart) {
  const std::string ca = read_text_file(server.ca_file());
  server.stop();
  CdnServerOptions options;
  options.root = root.path();
  options.tls_dir = certs.file("tls");
  std::string error;
  ASSERT_TRUE(server.start(options, {}, error)) << error;
  EXPECT_EQ(read_text_file(server.ca_file()), ca);
  std::string body;
  CurlHttpClient client(server.ca_file(), HttpTimeouts{5000});
  EXPECT_TRUE(client.get(url("/cdn-ru/launcher/ping.txt"), body, 5)) << client.last_error();
}

}  // namespace
}  // namespace zelvo::launcher
