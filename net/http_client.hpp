#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zelvo::launcher {

// Called after every received chunk with the bytes so far and the announced
// total (-1 without Content-Length). Returning false stops the download.
using ProgressFn = std::function<bool(std::int64_t received, std::int64_t total)>;

// All network traffic of the launcher. Synchronous, used from the core's
// worker thread only (cancel may come from the UI thread). Failures return
// false and leave an English text in last_error().
class IHttpClient {
 public:
  virtual ~IHttpClient() = default;
  // GET into memory; accepts HTTP 200-399.
  virtual bool get(const std::string& url, std::string& body, int timeout_seconds) = 0;
  // HEAD probe; any answer 200-499 counts as reachable.
  virtual bool head(const std::string& url, int timeout_ms) = 0;
  // Streams the body into path; accepts HTTP 200-399.
  virtual bool download(const std::string& url, const std::string& path,
                        const ProgressFn& progress) = 0;
  virtual std::string last_error() const = 0;
  virtual void cancel() = 0;
};

}  // namespace zelvo::launcher
