#include "net/self_update.hpp"

#include <chrono>
#include <cstdio>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/helpers.hpp"
#include "app/log.hpp"
#include "app/version.hpp"
#include "core/launcher_core.hpp"
#include "files/file_digest.hpp"
#include "net/http_client.hpp"
#include "platform/platform.hpp"

namespace zelvo::launcher {

namespace {

constexpr int kUpdateJsonTimeoutSeconds = 15;

bool is_absolute_url(const std::string& url) {
  return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

std::string format_number_version(double value) {
  char small[64];
  const int n = std::snprintf(small, sizeof small, "%f", value);
  if (n >= 0 && static_cast<std::size_t>(n) < sizeof small) return small;
  // Huge numbers print all their integer digits.
  std::string large(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(large.data(), large.size(), "%f", value);
  large.resize(static_cast<std::size_t>(n));
  return large;
}

// Leading decimal digits of each dot-separated component, without leading
// zeros, so components of any length compare as whole numbers.
std::vector<std::string> version_components(std::string_view text) {
  std::vector<std::string> components;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = text.find('.', start);
    const std::string_view part =
        text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    std::string digits;
    for (char c : part) {
      if (c < '0' || c > '9') break;
      if (digits.empty() && c == '0') continue;
      digits += c;
    }
    components.push_back(digits);
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return components;
}

// <0, 0, >0 like strcmp, for digit strings without leading zeros ("" is 0).
int compare_numbers(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

}  // namespace

bool parse_update_info(const std::string& text, const std::string& tag, UpdateInfo& out) {
  const nlohmann::json root = nlohmann::json::parse(text, nullptr, false, false);
  if (root.is_discarded() || !root.is_object()) return false;
  const auto entry_it = root.find(tag);
  if (entry_it == root.end() || !entry_it->is_object()) return false;
  const nlohmann::json& entry = *entry_it;

  UpdateInfo info;
  if (const auto it = entry.find("version"); it != entry.end()) {
    if (it->is_string()) {
      info.version = it->get<std::string>();
    } else if (it->is_number()) {
      info.version = format_number_version(it->get<double>());
    }
  }
  if (const auto it = entry.find("url"); it != entry.end() && it->is_string()) {
    info.url = it->get<std::string>();
  }
  if (const auto it = entry.find("md5"); it != entry.end() && it->is_string()) {
    info.md5 = it->get<std::string>();
  }
  if (info.version.empty() || info.url.empty()) return false;
  out = std::move(info);
  return true;
}

bool is_newer_version(const std::string& remote, const std::string& local) {
  const std::vector<std::string> r = version_components(remote);
  const std::vector<std::string> l = version_components(local);
  const std::size_t count = r.size() > l.size() ? r.size() : l.size();
  for (std::size_t i = 0; i < count; ++i) {
    const int order = compare_numbers(i < r.size() ? r[i] : std::string(),
                                      i < l.size() ? l[i] : std::string());
    if (order != 0) return order > 0;
  }
  return false;
}

void LauncherCore::check_update() {
  const std::string host = current_host();
  if (host.empty()) return;

  const std::string url = add_time_query(join_url(host, "/launcher/update.json"));
  log_printf("update: GET %s", url.c_str());
  std::string body;
  if (!client_->get(url, body, kUpdateJsonTimeoutSeconds)) {
    log_printf("update: update.json unavailable, skipping");
    return;
  }

  // The launcher's own entry: on Linux the "pc" entry is the Windows
  // executable, which must never replace this one.
  const std::string tag = platform_->update_tag();
  UpdateInfo info;
  if (!parse_update_info(body, tag, info)) {
    log_printf("update: no entry for tag '%s'", tag.c_str());
    return;
  }
  const bool newer = is_newer_version(info.version, kLauncherVersion);
  log_printf("update: local=%s remote=%s newer=%d url=%s", kLauncherVersion, info.version.c_str(),
             newer ? 1 : 0, info.url.c_str());
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    update_url_ = info.url;
    update_md5_ = info.md5;
    update_available_ = newer;
    update_version_ = newer ? info.version : std::string();
  }
  notify_change();
}

void LauncherCore::run_self_update() {
  std::string host;
  std::string update_url;
  std::string expected_md5;
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    if (update_available_ && !update_url_.empty()) {
      host = host_;
      update_url = update_url_;
      expected_md5 = update_md5_;
    }
  }
  if (update_url.empty()) {
    log_printf("update: nothing to apply");
    return;
  }

  const std::string url =
      add_time_query(is_absolute_url(update_url) ? update_url : join_url(host, update_url));
  const std::string dest = platform_->update_file_path();
  if (!platform_->ensure_parent_dir(dest)) {
    fail("Не удалось подготовить каталог для обновления лаунчера");
    return;
  }

  log_printf("update: download %s -> %s", url.c_str(), dest.c_str());
  update_speed_.start(std::chrono::steady_clock::now());
  set_status(CorePhase::Downloading, "Загружаем обновление лаунчера...", 0.0f, "");
  const bool downloaded = client_->download(url, dest, [this](std::int64_t received, std::int64_t total) {
    return report_update_progress(received, total);
  });
  if (!downloaded) {
    if (is_cancelled()) {
      platform_->remove_file(dest);
      log_printf("update: cancelled");
      set_status(CorePhase::Idle, "Отменено", 0.0f, "");
      return;
    }
    log_download_failure("update", client_, url, dest);
    fail("Не удалось скачать обновление.");
    return;
  }

  platform_->after_download(dest);
  if (!expected_md5.empty() && expected_md5 != "NONE") {
    const std::string actual = md5_file(dest);
    if (actual != expected_md5) {
      log_md5_mismatch("update", dest, expected_md5, actual);
      platform_->remove_file(dest);
      fail("Обновление повреждено (MD5).");
      return;
    }
  }

  set_status(CorePhase::Finishing, "Устанавливаем обновление...", 1.0f, "");
  log_printf("update: applying %s", dest.c_str());
  if (platform_->apply_update(dest)) {
    set_status(CorePhase::Closing, "Перезапуск...", 1.0f, "");
    return;
  }
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    update_available_ = false;
    update_version_.clear();
    write_status_locked(CorePhase::Idle, "Установите обновление", 1.0f, detail_);
  }
  notify_change();
}

}  // namespace zelvo::launcher
