#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "net/http_client.hpp"

namespace zelvo::launcher::test {

// A one-shot barrier for tests: a call blocks in wait() until open(); the test
// can first wait until that call has arrived.
class Gate {
 public:
  // Blocks until open(); marks the gate as entered first.
  void wait();
  void open();
  // Blocks the caller until some thread is inside wait() (or has passed it).
  void wait_entered();
  bool entered() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable signal_;
  bool open_ = false;
  bool entered_ = false;
};

// Scripted IHttpClient. Configured from the test thread, called from the
// core's worker. Responses are registered per URL; a URL matches with its
// cache-defeating "t=" query parameter removed, so flows may add one.
// Unregistered URLs fail with a last_error starting with kNoResponse.
class FakeHttpClient : public IHttpClient {
 public:
  static constexpr const char* kNoResponse = "fake: no response for";

  struct Call {
    std::string method;  // "GET", "HEAD" or "DOWNLOAD"
    std::string url;     // as given, including any "t=" parameter
    int timeout = 0;     // GET: seconds, HEAD: milliseconds, DOWNLOAD: 0
    std::string path;    // DOWNLOAD: the target file
  };

  struct Download {
    std::string content;
    // false: the progress total is -1 (no Content-Length).
    bool content_length = true;
    // Non-empty: the download fails with this text after writing content.
    std::string error;
  };

  // Runs at the start of every call (after it was recorded), without the
  // fake's lock, so it may block or re-register responses.
  using Hook = std::function<void(const Call&)>;

  void set_get(const std::string& url, const std::string& body);
  void set_get_failure(const std::string& url, const std::string& error);
  void set_head(const std::string& url, bool reachable,
                const std::string& error = "HEAD failed (fake)");
  void set_download(const std::string& url, const std::string& content);
  void set_download(const std::string& url, const Download& response);
  void set_download_failure(const std::string& url, const std::string& error);
  // Bytes written per progress call (default 4).
  void set_chunk_size(std::size_t bytes);
  void set_hook(Hook hook);

  std::vector<Call> calls() const;
  // Urls of the calls of one method, "t=" removed.
  std::vector<std::string> urls(const std::string& method) const;
  int cancel_count() const;

  // url without its "t=" query parameter ("?" dropped when nothing is left).
  static std::string strip_time_query(const std::string& url);

  bool get(const std::string& url, std::string& body, int timeout_seconds) override;
  bool head(const std::string& url, int timeout_ms) override;
  bool download(const std::string& url, const std::string& path,
                const ProgressFn& progress) override;
  std::string last_error() const override;
  void cancel() override;

 private:
  struct GetResponse {
    bool ok = false;
    std::string body;
    std::string error;
  };
  struct HeadResponse {
    bool ok = false;
    std::string error;
  };

  void begin(const Call& call);
  void set_error(const std::string& error);
  // Copies the response stored for url into out; without one, records the
  // "no response" error for method.
  template <typename Response>
  bool find_response(const std::map<std::string, Response>& responses, const char* method,
                     const std::string& url, Response& out);

  mutable std::mutex mutex_;
  std::map<std::string, GetResponse> gets_;
  std::map<std::string, HeadResponse> heads_;
  std::map<std::string, Download> downloads_;
  std::size_t chunk_size_ = 4;
  Hook hook_;
  std::vector<Call> calls_;
  int cancel_count_ = 0;
  std::string last_error_;
};

}  // namespace zelvo::launcher::test
