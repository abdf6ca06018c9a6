#include "net/curl_http_client.hpp"

#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string_view>
#include <vector>

#include "app/helpers.hpp"

namespace zelvo::launcher {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUserAgent = "ZelvoLauncher/1.0";
constexpr std::size_t kMaxHostChars = 255;
constexpr std::size_t kMaxPathChars = 2047;
constexpr long kMaxRedirects = 10;
constexpr long kReceiveBufferBytes = 256 * 1024;

enum class Method { Get, Head, Download };

const char* verb_of(Method method) {
  switch (method) {
    case Method::Get: return "GET";
    case Method::Head: return "HEAD";
    case Method::Download: return "download";
  }
  return "";
}

// How far the current request got; a failure is reported for that step.
enum class Stage { Connecting, Sent, Headers, Body };

bool iequals_prefix(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != prefix[i]) return false;
  }
  return true;
}

// Length in UTF-16 units, the unit the URL limits are counted in.
std::size_t utf16_length(std::string_view text) {
  std::size_t units = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) units += c >= 0xF0 ? 2 : 1;
  }
  return units;
}

// Percent-encodes bytes that may not appear raw in a request line (spaces,
// controls, non-ASCII names of game files) after the authority; '%' is kept
// so already encoded URLs pass unchanged.
std::string escape_unsafe(const std::string& url, std::size_t path_start) {
  static const char* hex = "0123456789ABCDEF";
  std::string out = url.substr(0, path_start);
  for (std::size_t i = path_start; i < url.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(url[i]);
    if (c <= 0x20 || c >= 0x7F || std::string_view("\"<>\\^`{|}").find(static_cast<char>(c)) !=
                                      std::string_view::npos) {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

const char* http_status_text(long code) {
  switch (code) {
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 408: return "Request Timeout";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "HTTP error";
  }
}

struct CurlHttpClient::Impl {
  // State of the request in flight, read and written by the libcurl callbacks.
  struct Transfer {
    Method method = Method::Get;
    std::string url;
    std::string* body = nullptr;
    const std::string* path = nullptr;
    const ProgressFn* progress = nullptr;
    int fd = -1;
    Stage stage = Stage::Connecting;
    long status = 0;
    bool has_location = false;
    std::int64_t received = 0;
    std::int64_t total = -1;
    Clock::time_point last_activity;
    bool reported = false;  // a message is already recorded
  };

  std::string ca_file;
  HttpTimeouts timeouts;
  std::vector<X509*> extra_cas;
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  curl_slist* headers = nullptr;
  char error_buffer[CURL_ERROR_SIZE] = {};

  std::mutex transfer_mutex;  // one transfer at a time on the shared handle
  mutable std::mutex error_mutex;
  std::string error;
  Transfer t;

  ~Impl() {
    if (multi != nullptr && easy != nullptr) curl_multi_remove_handle(multi, easy);
    if (easy != nullptr) curl_easy_cleanup(easy);
    if (multi != nullptr) curl_multi_cleanup(multi);
    curl_slist_free_all(headers);
    for (X509* cert : extra_cas) X509_free(cert);
  }

  void set_error(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    char buffer[768];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(error_mutex);
    error = buffer;
  }

  void clear_error() {
    std::lock_guard<std::mutex> lock(error_mutex);
    error.clear();
  }

  bool load_extra_cas(std::string& reason) {
    BIO* bio = BIO_new_file(ca_file.c_str(), "r");
    if (bio == nullptr) {
      reason = errno_text(errno);
      ERR_clear_error();
      return false;
    }
    while (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) extra_cas.push_back(cert);
    BIO_free(bio);
    ERR_clear_error();  // the end of the file reads as an error
    if (extra_cas.empty()) {
      reason = "no PEM certificate in the file";
      return false;
    }
    return true;
  }

  // Adds the operator CA to the store libcurl filled from the system's bundle.
  static CURLcode on_ssl_ctx(CURL*, void* ssl_ctx, void* userp) {
    auto* self = static_cast<Impl*>(userp);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(ssl_ctx));
    for (X509* cert : self->extra_cas) X509_STORE_add_cert(store, cert);
    ERR_clear_error();  // a CA already in the store is not a failure
    return CURLE_OK;
  }

  // Connected (the connect time-out bounded that); the waits for data start now.
  static int on_prereq(void* userp, char*, char*, int, int) {
    Transfer& t = static_cast<Impl*>(userp)->t;
    t.stage = Stage::Sent;
    t.last_activity = Clock::now();
    return CURL_PREREQFUNC_OK;
  }

  static std::size_t on_header(char* data, std::size_t size, std::size_t count, void* userp) {
    auto* self = static_cast<Impl*>(userp);
    Transfer& t = self->t;
    const std::size_t length = size * count;
    const std::string_view line(data, length);
    t.last_activity = Clock::now();
    if (t.stage != Stage::Body) t.stage = Stage::Headers;
    if (line.starts_with("HTTP/")) {
      const std::size_t space = line.find(' ');
      t.status = 0;
      for (std::size_t i = space == std::string_view::npos ? line.size() : space + 1;
           i < line.size() && line[i] >= '0' && line[i] <= '9' && t.status < 1000; ++i)
        t.status = t.status * 10 + (line[i] - '0');
      t.has_location = false;
    } else if (iequals_prefix(line, "location:")) {
      t.has_location = true;
    } else if (line == "\r\n" || line == "\n") {
      if (t.status >= 100 && t.status < 200) return length;
      // libcurl follows every 3xx that names a Location.
      if (t.status >= 300 && t.status < 400 && t.has_location) {
        t.stage = Stage::Connecting;
        return length;
      }
      if (t.method != Method::Head && !self->begin_body()) return 0;
    }
    return length;
  }

  static std::size_t on_body(char* data, std::size_t size, std::size_t count, void* userp) {
    auto* self = static_cast<Impl*>(userp);
    Transfer& t = self->t;
    const std::size_t length = size * count;
    t.last_activity = Clock::now();
    if (t.stage != Stage::Body && !self->begin_body()) return 0;
    try {
      if (t.method == Method::Get) {
        t.body->append(data, length);
        return length;
      }
      const std::int64_t before = t.received;
      std::size_t written = 0;
      while (written < length) {
        const ssize_t n = ::write(t.fd, data + written, length - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          const int code = n < 0 ? errno : ENOSPC;
          self->set_error("cannot write to %s after %lld byte(s): %s (disk full?)",
                          t.path->c_str(), static_cast<long long>(before),
                          errno_text(code).c_str());
          t.reported = true;
          return 0;
        }
        written += static_cast<std::size_t>(n);
      }
      t.received += static_cast<std::int64_t>(length);
      if (*t.progress && !(*t.progress)(t.received, t.total)) {
        self->set_error("download cancelled by user");
        t.reported = true;
        return 0;
      }
      return length;
    } catch (...) {
      self->set_error("%s: out of memory while receiving %s", verb_of(t.method), t.url.c_str());
      t.reported = true;
      return 0;
    }
  }

  // The final response's headers are complete: check the status, and for a
  // download learn the size and create the file.
  bool begin_body() {
    t.stage = Stage::Body;
    if (t.status < 200 || t.status > 399) {
      set_error("%s %s returned HTTP %lu (%s)", verb_of(t.method), t.url.c_str(),
                static_cast<unsigned long>(t.status), http_status_text(t.status));
      t.reported = true;
      return false;
    }
    if (t.method != Method::Download) return true;
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK)
      length = -1;
    t.total = length >= 0 ? static_cast<std::int64_t>(length) : -1;
    t.fd = ::open(t.path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (t.fd < 0) {
      set_error("cannot create file %s: %s (check free disk space and write permissions)",
                t.path->c_str(), errno_text(errno).c_str());
      t.reported = true;
      return false;
    }
    return true;
  }

  // Checks the URL against the request-line limits and hands it to libcurl.
  bool set_url(const std::string& url) {
    const char* verb = verb_of(t.method);
    const std::size_t scheme_end = url.find("://");
    if (scheme_end == std::string::npos) {
      set_error("cannot open %s request for %s: %s", verb, url.c_str(),
                curl_url_strerror(CURLUE_BAD_SCHEME));
      return false;
    }
    const std::string scheme = url.substr(0, scheme_end);
    if (!iequals_prefix(scheme, "http") ||
        (scheme.size() != 4 && !(scheme.size() == 5 && (scheme[4] == 's' || scheme[4] == 'S')))) {
      set_error("cannot open %s request for %s: %s", verb, url.c_str(),
                curl_easy_strerror(CURLE_UNSUPPORTED_PROTOCOL));
      return false;
    }
    std::size_t path_start = url.find_first_of("/?#", scheme_end + 3);
    if (path_start == std::string::npos) path_start = url.size();
    const std::size_t fragment = url.find('#', path_start);
    const std::string path =
        url.substr(path_start, fragment == std::string::npos ? std::string::npos : fragment - path_start);
    const std::string escaped = escape_unsafe(url, path_start);

    CURLU* parsed = curl_url();
    if (parsed == nullptr) {
      set_error("cannot open %s request for %s: %s", verb, url.c_str(),
                curl_url_strerror(CURLUE_OUT_OF_MEMORY));
      return false;
    }
    char* host = nullptr;
    CURLUcode rc = curl_url_set(parsed, CURLUPART_URL, escaped.c_str(), 0);
    if (rc == CURLUE_OK) rc = curl_url_get(parsed, CURLUPART_HOST, &host, 0);
    const std::size_t host_chars = host != nullptr ? utf16_length(host) : 0;
    curl_free(host);
    curl_url_cleanup(parsed);
    if (rc != CURLUE_OK) {
      set_error("cannot open %s request for %s: %s", verb, url.c_str(), curl_url_strerror(rc));
      return false;
    }
    if (host_chars > kMaxHostChars) {
      set_error("cannot open %s request for %s: %s", verb, url.c_str(),
                "host name longer than 255 characters");
      return false;
    }
    if (utf16_length(path) > kMaxPathChars) {
      set_error("cannot open %s request for %s: %s", verb, url.c_str(),
                "path and query longer than 2047 characters");
      return false;
    }
    if (curl_easy_setopt(easy, CURLOPT_URL, escaped.c_str()) != CURLE_OK) {
      set_error("cannot open %s request for %s: %s", verb, url.c_str(),
                curl_easy_strerror(CURLE_OUT_OF_MEMORY));
      return false;
    }
    return true;
  }

  // Runs the prepared request. wait_ms > 0 fails it once a connected request
  // received nothing for that long; libcurl's own time-outs cover the rest.
  bool perform(int wait_ms) {
    error_buffer[0] = '\0';
    t.last_activity = Clock::now();
    CURLcode result = CURLE_OK;
    bool stalled = false;
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
      set_error("cannot open %s request for %s: %s", verb_of(t.method), t.url.c_str(),
                curl_easy_strerror(CURLE_FAILED_INIT));
      return false;
    }
    int running = 1;
    while (true) {
      const CURLMcode mc = curl_multi_perform(multi, &running);
      if (mc != CURLM_OK) {
        result = CURLE_OUT_OF_MEMORY;
        std::snprintf(error_buffer, sizeof error_buffer, "%s", curl_multi_strerror(mc));
        break;
      }
      if (running == 0) break;
      int poll_ms = 1000;
      if (wait_ms > 0 && t.stage != Stage::Connecting) {
        const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(
                              Clock::now() - t.last_activity)
                              .count();
        if (idle >= wait_ms) {
          stalled = true;
          break;
        }
        poll_ms = static_cast<int>(std::min<long long>(poll_ms, wait_ms - idle));
      }
      curl_multi_poll(multi, nullptr, 0, poll_ms, nullptr);
    }
    if (!stalled && running == 0) {
      int queued = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
        if (msg->msg == CURLMSG_DONE) result = msg->data.result;
      }
    }
    // Removing an unfinished transfer closes its connection.
    curl_multi_remove_handle(multi, easy);
    if (t.fd >= 0) {
      ::close(t.fd);
      t.fd = -1;
    }
    if (t.reported) return false;
    if (stalled) {
      result = CURLE_OPERATION_TIMEDOUT;
      std::snprintf(error_buffer, sizeof error_buffer,
                    "Operation timed out: no data received for %d ms", wait_ms);
    }
    if (result == CURLE_OK) return finish_ok();
    report_failure(result);
    return false;
  }

  bool finish_ok() {
    if (t.method == Method::Head) {
      long code = 0;
      if (curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code) != CURLE_OK) code = 0;
      if (code < 200 || code > 499) {
        set_error("HEAD %s returned HTTP %lu (%s)", t.url.c_str(), static_cast<unsigned long>(code),
                  http_status_text(code));
        return false;
      }
      return true;
    }
    // A 3xx whose Location libcurl did not follow (an empty one) is itself the answer.
    if (t.stage != Stage::Body) {
      const bool ok = begin_body();
      if (t.fd >= 0) {
        ::close(t.fd);
        t.fd = -1;
      }
      return ok;
    }
    return true;
  }

  void report_failure(CURLcode result) {
    const char* text = error_buffer[0] != '\0' ? error_buffer : curl_easy_strerror(result);
    const char* verb = verb_of(t.method);
    const char* url = t.url.c_str();
    if (result == CURLE_URL_MALFORMAT || result == CURLE_UNSUPPORTED_PROTOCOL ||
        result == CURLE_FAILED_INIT) {
      set_error("cannot open %s request for %s: %s", verb, url, text);
    } else if (t.stage == Stage::Connecting ||
               (t.stage == Stage::Sent && result == CURLE_SEND_ERROR)) {
      set_error("send %s failed for %s: %s", verb, url, text);
    } else if (t.stage != Stage::Body) {
      set_error("receive %s response failed for %s: %s", verb, url, text);
    } else if (t.method == Method::Get) {
      set_error("read GET body failed for %s: %s", url, text);
    } else if (result == CURLE_BAD_CONTENT_ENCODING || result == CURLE_OUT_OF_MEMORY) {
      set_error("download read failed for %s after %lld byte(s): %s", url,
                static_cast<long long>(t.received), text);
    } else {
      set_error("download interrupted for %s after %lld byte(s): %s", url,
                static_cast<long long>(t.received), text);
    }
  }

  // Common start of the three transfers: false (with the message recorded) when
  // the request cannot be set up.
  bool prepare(Method method, const std::string& url) {
    t = Transfer{};
    t.method = method;
    t.url = url;
    clear_error();
    if (easy == nullptr || multi == nullptr) {
      set_error("curl session is not initialized");
      return false;
    }
    return set_url(url);
  }
};

CurlHttpClient::CurlHttpClient(std::string ca_file, HttpTimeouts timeouts,
                               std::string system_ca_bundle)
    : impl_(std::make_unique<Impl>()) {
  static std::once_flag global_init;
  static CURLcode global_result = CURLE_OK;
  std::call_once(global_init, [] { global_result = curl_global_init(CURL_GLOBAL_DEFAULT); });

  Impl& d = *impl_;
  d.ca_file = std::move(ca_file);
  d.timeouts = timeouts;
  if (global_result != CURLE_OK) {
    d.set_error("curl init failed: %s", curl_easy_strerror(global_result));
    return;
  }
  d.easy = curl_easy_init();
  d.multi = curl_multi_init();
  d.headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
  if (d.headers != nullptr) {
    if (curl_slist* more = curl_slist_append(d.headers, "Pragma: no-cache")) d.headers = more;
  }
  if (d.easy == nullptr || d.multi == nullptr || d.headers == nullptr) {
    d.set_error("curl init failed: %s", curl_easy_strerror(CURLE_OUT_OF_MEMORY));
    if (d.easy != nullptr) curl_easy_cleanup(d.easy);
    if (d.multi != nullptr) curl_multi_cleanup(d.multi);
    d.easy = nullptr;
    d.multi = nullptr;
    return;
  }
  CURL* e = d.easy;
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, d.headers);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, d.error_buffer);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!system_ca_bundle.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, system_ca_bundle.c_str());
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::on_header);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &d);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::on_body);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &d);
  curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &Impl::on_prereq);
  curl_easy_setopt(e, CURLOPT_PREREQDATA, &d);
  if (!d.ca_file.empty()) {
    std::string reason;
    if (d.load_extra_cas(reason)) {
      curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, &Impl::on_ssl_ctx);
      curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, &d);
    } else {
      d.set_error("cannot read CA file %s: %s", d.ca_file.c_str(), reason.c_str());
    }
  }
}

CurlHttpClient::~CurlHttpClient() = default;

bool CurlHttpClient::get(const std::string& url, std::string& body, int timeout_seconds) {
  std::lock_guard<std::mutex> lock(impl_->transfer_mutex);
  Impl& d = *impl_;
  body.clear();
  if (!d.prepare(Method::Get, url)) return false;
  const long wait_ms = timeout_seconds > 0 ? static_cast<long>(timeout_seconds) * 1000L : 0L;
  d.t.body = &body;
  curl_easy_setopt(d.easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(d.easy, CURLOPT_TIMEOUT_MS, 0L);
  curl_easy_setopt(d.easy, CURLOPT_CONNECTTIMEOUT_MS, wait_ms);
  return d.perform(static_cast<int>(wait_ms));
}

bool CurlHttpClient::head(const std::string& url, int timeout_ms) {
  std::lock_guard<std::mutex> lock(impl_->transfer_mutex);
  Impl& d = *impl_;
  if (!d.prepare(Method::Head, url)) return false;
  const long limit_ms = timeout_ms > 0 ? timeout_ms : 0L;
  curl_easy_setopt(d.easy, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(d.easy, CURLOPT_TIMEOUT_MS, limit_ms);
  curl_easy_setopt(d.easy, CURLOPT_CONNECTTIMEOUT_MS, limit_ms);
  return d.perform(0);
}

bool CurlHttpClient::download(const std::string& url, const std::string& path,
                              const ProgressFn& progress) {
  std::lock_guard<std::mutex> lock(impl_->transfer_mutex);
  Impl& d = *impl_;
  if (!d.prepare(Method::Download, url)) return false;
  const long wait_ms = d.timeouts.download_wait_ms > 0 ? d.timeouts.download_wait_ms : 0L;
  d.t.path = &path;
  d.t.progress = &progress;
  curl_easy_setopt(d.easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(d.easy, CURLOPT_TIMEOUT_MS, 0L);
  curl_easy_setopt(d.easy, CURLOPT_CONNECTTIMEOUT_MS, wait_ms);
  return d.perform(static_cast<int>(wait_ms));
}

std::string CurlHttpClient::last_error() const {
  std::lock_guard<std::mutex> lock(impl_->error_mutex);
  return impl_->error;
}

void CurlHttpClient::cancel() {}

}  // namespace zelvo::launcher
