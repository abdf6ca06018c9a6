#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "net/http_client.hpp"

namespace zelvo::launcher {

// Time-outs of the transfers. The defaults are the launcher's; tests use shorter ones.
struct HttpTimeouts {
  // Upper bound of a download's wait for data (no byte received for this long fails it).
  int download_wait_ms = 30000;
};

// IHttpClient on libcurl. Certificates and host names are verified against
// the system's trust store, plus the operator CA in ca_file when given.
// One easy handle is kept for the whole run, so requests to the same host
// reuse the connection (and its TLS session).
class CurlHttpClient : public IHttpClient {
 public:
  explicit CurlHttpClient(std::string ca_file = {}, HttpTimeouts timeouts = {});
  ~CurlHttpClient() override;
  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  bool get(const std::string& url, std::string& body, int timeout_seconds) override;
  bool head(const std::string& url, int timeout_ms) override;
  bool download(const std::string& url, const std::string& path,
                const ProgressFn& progress) override;
  std::string last_error() const override;
  void cancel() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zelvo::launcher
