#include "tests/support/tls_test_server.hpp"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tools/dev_tls.hpp"

namespace zelvo::launcher::test {

TlsTestServer::TlsTestServer(Scheme scheme) : scheme_(scheme) {
  if (scheme == Scheme::Https) {
    DevTlsFiles files;
    std::string error;
    if (!ensure_dev_tls(certs_.path(), files, error)) {
      ADD_FAILURE() << "test certificates: " << error;
      server_ = std::make_unique<httplib::Server>();
    } else {
      ca_file_ = files.ca_cert;
      server_ = std::make_unique<httplib::SSLServer>(files.server_cert.c_str(),
                                                     files.server_key.c_str());
    }
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  // Many sequential requests share one connection, as a CDN allows.
  server_->set_keep_alive_max_count(100000);
  server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
    std::lock_guard<std::mutex> lock(mutex_);
    peers_.emplace(req.remote_addr, req.remote_port);
    requests_.push_back(req.method + " " + req.path);
    return httplib::Server::HandlerResponse::Unhandled;
  });
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) ADD_FAILURE() << "test server cannot bind to 127.0.0.1";
}

TlsTestServer::~TlsTestServer() { stop(); }

void TlsTestServer::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stop_signal_.notify_all();
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

void TlsTestServer::start() {
  if (port_ <= 0 || thread_.joinable()) return;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  for (int i = 0; i < 500 && !server_->is_running(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

std::string TlsTestServer::base_url() const {
  return std::string(scheme_ == Scheme::Https ? "https" : "http") + "://127.0.0.1:" +
         std::to_string(port_);
}

bool TlsTestServer::wait_for_stop(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return stop_signal_.wait_for(lock, timeout, [this] { return stopping_; });
}

std::size_t TlsTestServer::connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return peers_.size();
}

std::vector<std::string> TlsTestServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::string refused_base_url() {
  // A port the kernel just handed out and took back: nothing listens there.
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  int port = 0;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
    port = ntohs(addr.sin_port);
  if (fd >= 0) ::close(fd);
  if (port == 0) ADD_FAILURE() << "no free port for a refused connection";
  return "https://127.0.0.1:" + std::to_string(port);
}

}  // namespace zelvo::launcher::test
