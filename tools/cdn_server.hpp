#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace zelvo::launcher {

struct CdnServerOptions {
  std::string root;     // folder served as the URL root
  int port = 0;         // 0 picks a free port
  std::string tls_dir;  // CA and server certificate, created on first use
};

// One line per answered request, without a line break. Called from the
// server's worker threads, one call at a time.
using RequestLogFn = std::function<void(const std::string& line)>;

// A static HTTPS file server on 127.0.0.1 for trying a CDN tree locally:
// GET and HEAD with Content-Length and single byte ranges; nothing outside
// the root is ever answered.
class CdnServer {
 public:
  CdnServer();
  ~CdnServer();
  CdnServer(const CdnServer&) = delete;
  CdnServer& operator=(const CdnServer&) = delete;

  // Prepares the certificates, binds the port and starts serving on a
  // background thread. False with a one-line English reason.
  bool start(const CdnServerOptions& options, RequestLogFn log, std::string& error);
  void stop();

  int port() const { return port_; }
  // "https://127.0.0.1:<port>"
  std::string base_url() const;
  // The CA a client must trust.
  const std::string& ca_file() const { return ca_file_; }

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  std::string ca_file_;
};

// Where serve keeps its certificates when no folder is given:
// $XDG_CACHE_HOME/zelvo-cdn/tls, else ~/.cache/zelvo-cdn/tls.
std::string default_tls_dir();

}  // namespace zelvo::launcher
