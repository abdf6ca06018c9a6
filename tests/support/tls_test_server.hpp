#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher::test {

// A real HTTP(S) server on 127.0.0.1 and a free port, serving on a background
// thread. The HTTPS variant uses a CA and a server certificate made for this
// run (ca_file() is the CA a client must trust). Register handlers through
// server() before start(); base_url() is known from construction on.
class TlsTestServer {
 public:
  enum class Scheme { Https, Http };

  explicit TlsTestServer(Scheme scheme = Scheme::Https);
  // Stops the server; handlers blocked in wait_for_stop() return first.
  ~TlsTestServer();
  TlsTestServer(const TlsTestServer&) = delete;
  TlsTestServer& operator=(const TlsTestServer&) = delete;

  httplib::Server& server() { return *server_; }
  void start();
  // Waits for running handlers to end. Fixtures whose handlers reach objects
  // declared after the server call it before those objects go away.
  void stop();

  // "https://127.0.0.1:<port>" (or "http://...").
  std::string base_url() const;
  std::string url(const std::string& path) const { return base_url() + path; }
  int port() const { return port_; }
  // PEM of the CA that signed the server certificate; empty for plain HTTP.
  const std::string& ca_file() const { return ca_file_; }

  // For handlers that must hang: blocks until the server stops or timeout passes.
  // True when the server is stopping.
  bool wait_for_stop(std::chrono::milliseconds timeout);

  // Distinct client connections that sent at least one request.
  std::size_t connections() const;
  // "<METHOD> <path>" of every request received, in arrival order.
  std::vector<std::string> requests() const;

 private:
  TempDir certs_;
  std::string ca_file_;
  std::unique_ptr<httplib::Server> server_;
  Scheme scheme_;
  int port_ = -1;
  std::thread thread_;

  mutable std::mutex mutex_;
  std::condition_variable stop_signal_;
  bool stopping_ = false;
  std::set<std::pair<std::string, int>> peers_;
  std::vector<std::string> requests_;
};

// "https://127.0.0.1:<port>" of a port where nothing listens (connections are refused).
std::string refused_base_url();

}  // namespace zelvo::launcher::test
