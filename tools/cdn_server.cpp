#include "tools/cdn_server.hpp"

#include <fcntl.h>
#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

#include "tools/dev_tls.hpp"

namespace zelvo::launcher {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunk = 64 * 1024;

bool is_inside(const fs::path& root, const fs::path& path) {
  const std::string r = root.string();
  const std::string p = path.string();
  return p == r || (p.size() > r.size() && p.compare(0, r.size(), r) == 0 &&
                    (r.back() == '/' || p[r.size()] == '/'));
}

std::string content_type_for(const fs::path& path) {
  const std::string ext = path.extension().string();
  if (ext == ".json") return "application/json";
  if (ext == ".txt") return "text/plain; charset=utf-8";
  return "application/octet-stream";
}

// Request paths arrive percent-decoded; control bytes would break the log line.
std::string printable(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return out;
}

void answer_text(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(text + "\n", "text/plain; charset=utf-8");
}

void serve_file(const fs::path& root, const httplib::Request& req, httplib::Response& res) {
  fs::path target = root;
  std::size_t start = 0;
  const std::string& path = req.path;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string segment = path.substr(start, end - start);
    if (segment == ".." || segment.find('\0') != std::string::npos) {
      answer_text(res, 403, "forbidden");
      return;
    }
    if (!segment.empty() && segment != ".") target /= segment;
    start = end + 1;
  }

  std::error_code ec;
  const fs::path resolved = fs::canonical(target, ec);
  if (ec) {
    answer_text(res, 404, "not found");
    return;
  }
  // A link may still point out of the tree.
  if (!is_inside(root, resolved)) {
    answer_text(res, 403, "forbidden");
    return;
  }
  // O_NONBLOCK: opening a FIFO in the tree must not hold the request forever.
  const int fd = ::open(resolved.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (fs::is_directory(resolved, ec))
      answer_text(res, 404, "not found");
    else
      answer_text(res, 403, "forbidden");
    return;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    answer_text(res, 404, "not found");
    return;
  }
  std::FILE* raw = ::fdopen(fd, "rb");
  if (!raw) {
    ::close(fd);
    answer_text(res, 403, "forbidden");
    return;
  }
  std::shared_ptr<std::FILE> file(raw, std::fclose);
  const auto size = static_cast<std::size_t>(st.st_size);
  // The library answers ranges reaching past the end with a bogus length
  // and garbles multipart answers: one starting past the end is refused, a
  // longer one is cut to the file, several are ignored (the whole file is
  // sent, as a server may). The request object is the server's own for this
  // call, so adjusting it in place is safe.
  auto& ranges = const_cast<httplib::Ranges&>(req.ranges);
  if (ranges.size() > 1) ranges.clear();
  for (auto& [first, last] : ranges) {
    const bool satisfiable = first >= 0 ? static_cast<std::size_t>(first) < size &&
                                              (last < 0 || last >= first)
                                        : last > 0 && size > 0;
    if (!satisfiable) {
      res.status = 416;
      res.set_header("Content-Range", "bytes */" + std::to_string(size));
      return;
    }
    const auto end = static_cast<ssize_t>(size) - 1;
    if (first >= 0 && last > end) last = end;
    if (first < 0 && last > end + 1) last = end + 1;
  }
  const std::string type = content_type_for(resolved);
  // The status stays unset: the library then answers 206 or 416 for ranges.
  if (size == 0) {
    res.set_content(std::string(), type);
    return;
  }
  res.set_content_provider(
      size, type, [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        std::vector<char> buffer(std::min(length, kChunk));
        if (::fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return false;
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get());
        // A file that shrank while being sent ends the connection.
        return n > 0 && sink.write(buffer.data(), n);
      });
}

}  // namespace

CdnServer::CdnServer() = default;

CdnServer::~CdnServer() { stop(); }

bool CdnServer::start(const CdnServerOptions& options, RequestLogFn log, std::string& error) {
  if (server_) {
    error = "the server is already running";
    return false;
  }
  std::error_code ec;
  if (!fs::is_directory(options.root, ec)) {
    error = "not a folder: " + options.root;
    return false;
  }
  const fs::path root = fs::canonical(options.root, ec);
  if (ec) {
    error = "cannot open " + options.root + ": " + ec.message();
    return false;
  }
  if (options.port < 0 || options.port > 65535) {
    error = "invalid port " + std::to_string(options.port);
    return false;
  }
  if (options.tls_dir.empty()) {
    error = "no folder for the certificates";
    return false;
  }
  // The server key must never be downloadable.
  const fs::path tls = fs::weakly_canonical(fs::absolute(options.tls_dir, ec), ec);
  if (!ec && is_inside(root, tls)) {
    error = "the certificate folder " + options.tls_dir + " must not be inside " + options.root;
    return false;
  }

  DevTlsFiles files;
  std::string tls_error;
  if (!ensure_dev_tls(options.tls_dir, files, tls_error)) {
    error = "cannot prepare certificates in " + options.tls_dir + ": " + tls_error;
    return false;
  }
  auto server =
      std::make_unique<httplib::SSLServer>(files.server_cert.c_str(), files.server_key.c_str());
  if (!server->is_valid()) {
    error = "cannot load the server certificate from " + options.tls_dir;
    return false;
  }

  // SO_REUSEADDR only: the library's default would also let a second server
  // share a port that is already taken.
  server->set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // Launchers keep one connection for all their requests. An idle one holds
  // up stop() until it times out, hence the short wait.
  server->set_keep_alive_max_count(100000);
  server->set_keep_alive_timeout(2);
  server->Get(".*", [root](const httplib::Request& req, httplib::Response& res) {
    serve_file(root, req, res);
  });
  if (log) {
    auto log_mutex = std::make_shared<std::mutex>();
    server->set_logger([log, log_mutex](const httplib::Request& req, const httplib::Response& res) {
      std::string line = req.method + " " + printable(req.path);
      if (req.has_header("Range")) line += " range=" + printable(req.get_header_value("Range"));
      line += " -> " + std::to_string(res.status);
      std::lock_guard<std::mutex> lock(*log_mutex);
      log(line);
    });
  }

  int port = options.port;
  if (port == 0) {
    port = server->bind_to_any_port("127.0.0.1");
  } else if (!server->bind_to_port("127.0.0.1", port)) {
    port = -1;
  }
  if (port <= 0) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(options.port) +
            " (port in use or not allowed)";
    return false;
  }

  server_ = std::move(server);
  port_ = port;
  ca_file_ = files.ca_cert;
  thread_ = std::thread([s = server_.get()] { s->listen_after_bind(); });
  for (int i = 0; i < 1000 && !server_->is_running(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return true;
}

void CdnServer::stop() {
  if (!server_) return;
  server_->stop();
  if (thread_.joinable()) thread_.join();
  server_.reset();
}

std::string CdnServer::base_url() const { return "https://127.0.0.1:" + std::to_string(port_); }

std::string default_tls_dir() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache && cache[0] == '/') return std::string(cache) + "/zelvo-cdn/tls";
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : ".") + "/.cache/zelvo-cdn/tls";
}

}  // namespace zelvo::launcher
