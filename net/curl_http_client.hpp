#pragma once

#include <memory>
#include <string>

#include "net/http_client.hpp"

namespace zelvo::launcher {

// Time-outs of the transfers. The defaults are the launcher's; tests use shorter ones.
struct HttpTimeouts {
  // Upper bound of a download's wait for data (no byte received for this long
  // fails it); also its connect time-out. A download that keeps receiving is never cut.
  int download_wait_ms = 30000;
};

// IHttpClient on libcurl. Certificates and host names are verified against
// the system's trust store, plus the operator CA in ca_file when given.
// One handle is kept for the whole run, so requests to the same host
// reuse the connection (and its TLS session).
class CurlHttpClient : public IHttpClient {
 public:
  // system_ca_bundle replaces libcurl's default trust store file (empty: the default).
  explicit CurlHttpClient(std::string ca_file = {}, HttpTimeouts timeouts = {},
                          std::string system_ca_bundle = {});
  ~CurlHttpClient() override;
  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  // The given seconds bound each wait (connect, response, every pause in the body).
  bool get(const std::string& url, std::string& body, int timeout_seconds) override;
  // The given milliseconds bound the whole probe.
  bool head(const std::string& url, int timeout_ms) override;
  bool download(const std::string& url, const std::string& path,
                const ProgressFn& progress) override;
  std::string last_error() const override;
  // Nothing to do: a download stops through its ProgressFn, get and head at their time-outs.
  void cancel() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Reason text of an HTTP status code as used in the status failure messages.
const char* http_status_text(long code);

}  // namespace zelvo::launcher
