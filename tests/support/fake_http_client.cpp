#include "tests/support/fake_http_client.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zelvo::launcher::test {

void Gate::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  entered_ = true;
  signal_.notify_all();
  signal_.wait(lock, [this] { return open_; });
}

void Gate::open() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
  }
  signal_.notify_all();
}

void Gate::wait_entered() {
  std::unique_lock<std::mutex> lock(mutex_);
  signal_.wait(lock, [this] { return entered_; });
}

bool Gate::entered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entered_;
}

std::string FakeHttpClient::strip_time_query(const std::string& url) {
  const std::size_t q = url.find('?');
  if (q == std::string::npos) return url;
  std::string kept;
  std::size_t pos = q + 1;
  while (pos <= url.size()) {
    std::size_t end = url.find('&', pos);
    if (end == std::string::npos) end = url.size();
    const std::string param = url.substr(pos, end - pos);
    if (param.rfind("t=", 0) != 0 && !param.empty()) {
      kept += kept.empty() ? "" : "&";
      kept += param;
    }
    pos = end + 1;
  }
  return kept.empty() ? url.substr(0, q) : url.substr(0, q + 1) + kept;
}

void FakeHttpClient::set_get(const std::string& url, const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  gets_[strip_time_query(url)] = GetResponse{true, body, ""};
}

void FakeHttpClient::set_get_failure(const std::string& url, const std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  gets_[strip_time_query(url)] = GetResponse{false, "", error};
}

void FakeHttpClient::set_head(const std::string& url, bool reachable, const std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  heads_[strip_time_query(url)] = HeadResponse{reachable, reachable ? "" : error};
}

void FakeHttpClient::set_download(const std::string& url, const std::string& content) {
  set_download(url, Download{content, true, ""});
}

void FakeHttpClient::set_download(const std::string& url, const Download& response) {
  std::lock_guard<std::mutex> lock(mutex_);
  downloads_[strip_time_query(url)] = response;
}

void FakeHttpClient::set_download_failure(const std::string& url, const std::string& error) {
  set_download(url, Download{"", true, error});
}

void FakeHttpClient::set_chunk_size(std::size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  chunk_size_ = std::max<std::size_t>(bytes, 1);
}

void FakeHttpClient::set_hook(Hook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

std::vector<FakeHttpClient::Call> FakeHttpClient::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<std::string> FakeHttpClient::urls(const std::string& method) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const Call& c : calls_) {
    if (c.method == method) out.push_back(strip_time_query(c.url));
  }
  return out;
}

int FakeHttpClient::cancel_count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cancel_count_;
}

void FakeHttpClient::begin(const Call& call) {
  Hook hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
    last_error_.clear();
    hook = hook_;
  }
  if (hook) hook(call);
}

void FakeHttpClient::set_error(const std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  last_error_ = error;
}

template <typename Response>
bool FakeHttpClient::find_response(const std::map<std::string, Response>& responses,
                                   const char* method, const std::string& url, Response& out) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = responses.find(strip_time_query(url));
    if (it != responses.end()) {
      out = it->second;
      return true;
    }
  }
  set_error(std::string(kNoResponse) + " " + method + " " + url);
  return false;
}

bool FakeHttpClient::get(const std::string& url, std::string& body, int timeout_seconds) {
  body.clear();
  begin(Call{"GET", url, timeout_seconds, ""});
  GetResponse response;
  if (!find_response(gets_, "GET", url, response)) return false;
  if (!response.ok) {
    set_error(response.error);
    return false;
  }
  body = response.body;
  return true;
}

bool FakeHttpClient::head(const std::string& url, int timeout_ms) {
  begin(Call{"HEAD", url, timeout_ms, ""});
  HeadResponse response;
  if (!find_response(heads_, "HEAD", url, response)) return false;
  if (!response.ok) set_error(response.error);
  return response.ok;
}

bool FakeHttpClient::download(const std::string& url, const std::string& path,
                              const ProgressFn& progress) {
  begin(Call{"DOWNLOAD", url, 0, path});
  Download response;
  if (!find_response(downloads_, "DOWNLOAD", url, response)) return false;
  std::size_t chunk = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    chunk = chunk_size_;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    set_error("cannot create file " + path + ": " + std::strerror(errno));
    return false;
  }
  const std::int64_t total =
      response.content_length ? static_cast<std::int64_t>(response.content.size()) : -1;
  std::int64_t written = 0;
  bool ok = true;
  while (written < static_cast<std::int64_t>(response.content.size())) {
    const std::size_t n =
        std::min(chunk, response.content.size() - static_cast<std::size_t>(written));
    std::fwrite(response.content.data() + written, 1, n, file);
    written += static_cast<std::int64_t>(n);
    if (progress && !progress(written, total)) {
      set_error("download cancelled by user");
      ok = false;
      break;
    }
  }
  std::fclose(file);
  if (ok && !response.error.empty()) {
    set_error(response.error);
    ok = false;
  }
  return ok;
}

std::string FakeHttpClient::last_error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_error_;
}

void FakeHttpClient::cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++cancel_count_;
}

}  // namespace zelvo::launcher::test
