#include "net/curl_http_client.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "tests/support/temp_dir.hpp"
#include "tests/support/tls_test_server.hpp"

namespace zelvo::launcher {
namespace {

using test::TempDir;
using test::TlsTestServer;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr int kWaitMs = 800;

std::string pattern_bytes(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>('a' + (i * 7) % 26);
  return data;
}

class CurlHttpClientTest : public ::testing::Test {
 protected:
  CurlHttpClientTest() {
    auto& s = server_.server();
    s.Get(R"(/status/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
      res.status = std::stoi(req.matches[1]);
      res.set_content("status body", "text/plain");
    });
    s.Get("/text", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex_);
      last_headers_ = req.headers;
      res.set_content("hello", "text/plain");
    });
    s.Get("/big", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(big_, "application/octet-stream");
    });
    s.Get("/chunked", [this](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("application/octet-stream",
                                       [this](std::size_t offset, httplib::DataSink& sink) {
                                         if (offset >= big_.size()) {
                                           sink.done();
                                           return true;
                                         }
                                         const std::size_t n = std::min<std::size_t>(
                                             50000, big_.size() - offset);
                                         sink.write(big_.data() + offset, n);
                                         return true;
                                       });
    });
    // 1000 bytes, then silence until the server stops.
    s.Get("/stall-body", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(2000, "application/octet-stream",
                               [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 if (offset == 0) {
                                   sink.write(big_.data(), 1000);
                                   return true;
                                 }
                                 server_.wait_for_stop(std::chrono::seconds(10));
                                 return false;
                               });
    });
    s.Get("/stall-headers", [this](const httplib::Request&, httplib::Response& res) {
      server_.wait_for_stop(std::chrono::seconds(10));
      res.set_content("late", "text/plain");
    });
    // Five pieces 250 ms apart: the whole transfer outlasts the wait, no pause does.
    s.Get("/slow-steady", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(5 * 100, "application/octet-stream",
                               [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                 if (offset > 0 &&
                                     server_.wait_for_stop(std::chrono::milliseconds(250)))
                                   return false;
                                 sink.write(big_.data() + offset, 100);
                                 return true;
                               });
    });
    server_.start();
  }

  CurlHttpClient make_client(const std::string& ca_file) {
    return CurlHttpClient(ca_file, HttpTimeouts{kWaitMs});
  }

  std::string big_ = pattern_bytes(3 * 1024 * 1024 + 123);
  TlsTestServer server_;
  TempDir dir_;
  std::mutex mutex_;
  httplib::Headers last_headers_;
};

TEST_F(CurlHttpClientTest, StatusRulesPerOperation) {
  CurlHttpClient client(server_.ca_file());
  struct Case {
    std::string op;
    int status;
    bool ok;
    std::string message;  // with the URL in place of "URL"
  };
  const std::vector<Case> cases = {
      {"head", 200, true, ""},
      {"head", 404, true, ""},
      {"head", 500, false, "HEAD URL returned HTTP 500 (Internal Server Error)"},
      {"get", 200, true, ""},
      {"get", 418, false, "GET URL returned HTTP 418 (HTTP error)"},
      {"get", 404, false, "GET URL returned HTTP 404 (Not Found)"},
      {"download", 503, false, "download URL returned HTTP 503 (Service Unavailable)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op + " " + std::to_string(c.status));
    const std::string url = server_.url("/status/" + std::to_string(c.status));
    const std::string file = dir_.file(c.op + std::to_string(c.status));
    std::string body = "stale";
    bool ok = false;
    if (c.op == "head") ok = client.head(url, 2000);
    if (c.op == "get") ok = client.get(url, body, 5);
    if (c.op == "download") ok = client.download(url, file, {});
    EXPECT_EQ(ok, c.ok);
    std::string expected = c.message;
    if (const auto at = expected.find("URL"); at != std::string::npos) expected.replace(at, 3, url);
    EXPECT_EQ(client.last_error(), expected);
    if (c.op == "get") {
      EXPECT_EQ(body, c.ok ? "status body" : "");
    }
    // A refused download writes no file, not even the error page.
    if (c.op == "download") {
      EXPECT_FALSE(std::filesystem::exists(file));
    }
  }
}

TEST_F(CurlHttpClientTest, SendsUserAgentAndNoCacheHeaders) {
  CurlHttpClient client(server_.ca_file());
  std::string body;
  ASSERT_TRUE(client.get(server_.url("/text"), body, 5)) << client.last_error();
  EXPECT_EQ(body, "hello");
  std::lock_guard<std::mutex> lock(mutex_);
  auto header = [this](const char* name) {
    const auto it = last_headers_.find(name);
    return it == last_headers_.end() ? std::string("<none>") : it->second;
  };
  EXPECT_EQ(header("User-Agent"), "ZelvoLauncher/1.0");
  EXPECT_EQ(header("Cache-Control"), "no-cache");
  EXPECT_EQ(header("Pragma"), "no-cache");
}

TEST_F(CurlHttpClientTest, FollowsRedirectFromHttpsToHttp) {
  TlsTestServer plain(TlsTestServer::Scheme::Http);
  plain.server().Get("/target", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("over plain http", "text/plain");
  });
  plain.start();
  server_.server().Get("/moved", [&plain](const httplib::Request&, httplib::Response& res) {
    res.set_redirect(plain.url("/target"), 302);
  });
  CurlHttpClient client(server_.ca_file());

  std::string body;
  EXPECT_TRUE(client.get(server_.url("/moved"), body, 5)) << client.last_error();
  EXPECT_EQ(body, "over plain http");
  EXPECT_TRUE(client.head(server_.url("/moved"), 2000)) << client.last_error();
  const std::string file = dir_.file("moved.txt");
  EXPECT_TRUE(client.download(server_.url("/moved"), file, {})) << client.last_error();
  EXPECT_EQ(test::read_text_file(file), "over plain http");
}

TEST_F(CurlHttpClientTest, DownloadReportsTotalOrMinusOne) {
  CurlHttpClient client(server_.ca_file());
  for (const auto& [path, total] : {std::pair{"/big", static_cast<std::int64_t>(big_.size())},
                                    std::pair{"/chunked", std::int64_t{-1}}}) {
    SCOPED_TRACE(path);
    const std::string file = dir_.file("out.bin");
    std::vector<std::pair<std::int64_t, std::int64_t>> calls;
    ASSERT_TRUE(client.download(server_.url(path), file, [&](std::int64_t got, std::int64_t all) {
      calls.emplace_back(got, all);
      return true;
    })) << client.last_error();
    EXPECT_EQ(test::read_text_file(file), big_);
    ASSERT_FALSE(calls.empty());
    for (std::size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(calls[i].second, total);
      if (i > 0) {
        EXPECT_GT(calls[i].first, calls[i - 1].first);
      }
    }
    EXPECT_EQ(calls.back().first, static_cast<std::int64_t>(big_.size()));
    EXPECT_EQ(client.last_error(), "");
  }
}

TEST_F(CurlHttpClientTest, CancelledDownloadKeepsExactlyTheFirstChunk) {
  CurlHttpClient client(server_.ca_file());
  const std::string file = dir_.file("partial.bin");
  std::int64_t first = -1;
  EXPECT_FALSE(client.download(server_.url("/big"), file, [&](std::int64_t got, std::int64_t) {
    first = got;
    return false;
  }));
  EXPECT_EQ(client.last_error(), "download cancelled by user");
  ASSERT_GT(first, 0);
  ASSERT_LT(first, static_cast<std::int64_t>(big_.size()));
  EXPECT_EQ(test::read_text_file(file), big_.substr(0, static_cast<std::size_t>(first)));
}

TEST_F(CurlHttpClientTest, DownloadFailsAfterOneWaitWithoutData) {
  CurlHttpClient client = make_client(server_.ca_file());
  const std::string file = dir_.file("stall.bin");
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.download(server_.url("/stall-body"), file, {}));
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_THAT(client.last_error(),
              StartsWith("download interrupted for " + server_.url("/stall-body") +
                         " after 1000 byte(s): "));
  EXPECT_EQ(test::read_text_file(file), big_.substr(0, 1000));
  EXPECT_GE(took, std::chrono::milliseconds(kWaitMs));
  EXPECT_LT(took, std::chrono::milliseconds(kWaitMs) + std::chrono::seconds(2));
}

TEST_F(CurlHttpClientTest, DownloadThatKeepsReceivingIsNotCut) {
  CurlHttpClient client = make_client(server_.ca_file());
  const std::string file = dir_.file("steady.bin");
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(client.download(server_.url("/slow-steady"), file, {})) << client.last_error();
  EXPECT_GT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(kWaitMs));
  EXPECT_EQ(test::read_text_file(file), big_.substr(0, 500));
}

TEST_F(CurlHttpClientTest, GetAndHeadWaitsAreBounded) {
  CurlHttpClient client(server_.ca_file());
  std::string body;
  EXPECT_FALSE(client.get(server_.url("/stall-body"), body, 1));
  EXPECT_THAT(client.last_error(),
              StartsWith("read GET body failed for " + server_.url("/stall-body") + ": "));
  EXPECT_FALSE(client.head(server_.url("/stall-headers"), kWaitMs));
  EXPECT_THAT(client.last_error(),
              StartsWith("receive HEAD response failed for " + server_.url("/stall-headers") +
                         ": "));
}

TEST_F(CurlHttpClientTest, ConnectionRefusedIsASendFailure) {
  CurlHttpClient client(server_.ca_file());
  const std::string url = test::refused_base_url() + "/launcher/ping.txt";
  std::string body;
  EXPECT_FALSE(client.get(url, body, 2));
  EXPECT_THAT(client.last_error(), StartsWith("send GET failed for " + url + ": "));
  EXPECT_FALSE(client.head(url, 2000));
  EXPECT_THAT(client.last_error(), StartsWith("send HEAD failed for " + url + ": "));
  EXPECT_FALSE(client.download(url, dir_.file("x"), {}));
  EXPECT_THAT(client.last_error(), StartsWith("send download failed for " + url + ": "));
}

TEST_F(CurlHttpClientTest, UrlLimitsAndBadUrlsFailAtSetUp) {
  CurlHttpClient client(server_.ca_file());
  const std::string longest_path = "/" + std::string(2046, 'p');
  const std::string too_long = "path and query longer than 2047 characters";
  struct Case {
    std::string url;
    std::string reason;  // empty: the set-up passes
  };
  const std::vector<Case> cases = {
      {server_.url(longest_path), ""},
      {server_.url("/p?" + std::string(2044, 'q')), ""},
      {server_.url(longest_path + "q"), too_long},
      {server_.url("/p?" + std::string(2045, 'q')), too_long},
      {"https://" + std::string(256, 'h') + "/x", "host name longer than 255 characters"},
      {"not a url", "Bad scheme"},
      {"ftp://127.0.0.1/file", "Unsupported protocol"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url.substr(0, 40) + " length " + std::to_string(c.url.size()));
    std::string body;
    EXPECT_FALSE(client.get(c.url, body, 2));
    if (c.reason.empty()) {
      EXPECT_EQ(client.last_error(),
                ("GET " + c.url + " returned HTTP 404 (Not Found)").substr(0, 767));
      continue;
    }
    // Messages are cut to 767 bytes, as long URLs would otherwise flood the log.
    for (const std::string op : {"GET", "HEAD", "download"}) {
      bool ok = true;
      if (op == "GET") ok = client.get(c.url, body, 2);
      if (op == "HEAD") ok = client.head(c.url, 2000);
      if (op == "download") ok = client.download(c.url, dir_.file("x"), {});
      EXPECT_FALSE(ok);
      EXPECT_EQ(client.last_error(),
                ("cannot open " + op + " request for " + c.url + ": " + c.reason).substr(0, 767));
    }
  }
}

TEST_F(CurlHttpClientTest, FileFailuresNameThePath) {
  CurlHttpClient client(server_.ca_file());
  const std::string missing = dir_.file("no/such/folder/file.bin");
  EXPECT_FALSE(client.download(server_.url("/big"), missing, {}));
  EXPECT_EQ(client.last_error(), "cannot create file " + missing +
                                     ": No such file or directory (check free disk space and "
                                     "write permissions)");

  EXPECT_FALSE(client.download(server_.url("/big"), "/dev/full", {}));
  EXPECT_EQ(client.last_error(),
            "cannot write to /dev/full after 0 byte(s): No space left on device (disk full?)");
}

TEST_F(CurlHttpClientTest, CertificatesAreVerified) {
  std::string body;
  CurlHttpClient without_ca;
  EXPECT_FALSE(without_ca.get(server_.url("/text"), body, 5));
  EXPECT_THAT(without_ca.last_error(), StartsWith("send GET failed for " + server_.url("/text")));
  EXPECT_THAT(without_ca.last_error(), HasSubstr("certificate"));

  CurlHttpClient with_ca(server_.ca_file());
  EXPECT_TRUE(with_ca.get(server_.url("/text"), body, 5)) << with_ca.last_error();
  // The certificate names 127.0.0.1 and localhost.
  const std::string by_name = "https://localhost:" + std::to_string(server_.port()) + "/text";
  EXPECT_TRUE(with_ca.get(by_name, body, 5)) << with_ca.last_error();
}

TEST_F(CurlHttpClientTest, OperatorCaIsTrustedNextToTheSystemStore) {
  // "system" stands for the machine's trust store: it knows only this server's CA.
  TlsTestServer system_signed;
  system_signed.server().Get("/text", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("system", "text/plain");
  });
  system_signed.start();
  std::string body;

  CurlHttpClient system_only({}, {}, system_signed.ca_file());
  EXPECT_TRUE(system_only.get(system_signed.url("/text"), body, 5)) << system_only.last_error();
  EXPECT_FALSE(system_only.get(server_.url("/text"), body, 5));

  CurlHttpClient both(server_.ca_file(), {}, system_signed.ca_file());
  EXPECT_TRUE(both.get(system_signed.url("/text"), body, 5)) << both.last_error();
  EXPECT_EQ(body, "system");
  EXPECT_TRUE(both.get(server_.url("/text"), body, 5)) << both.last_error();
  EXPECT_EQ(body, "hello");
}

TEST_F(CurlHttpClientTest, RequestsShareOneConnection) {
  CurlHttpClient client(server_.ca_file());
  std::string body;
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(client.get(server_.url("/text"), body, 5));
  ASSERT_TRUE(client.head(server_.url("/status/404"), 2000));
  ASSERT_TRUE(client.download(server_.url("/big"), dir_.file("k.bin"), {}));
  ASSERT_TRUE(client.get(server_.url("/text"), body, 5));
  EXPECT_EQ(server_.requests().size(), 8u);
  EXPECT_EQ(server_.connections(), 1u);
}

}  // namespace
}  // namespace zelvo::launcher
