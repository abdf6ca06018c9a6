#include "net/host_selection.hpp"

#include <chrono>

#include "app/helpers.hpp"
#include "app/log.hpp"
#include "core/launcher_core.hpp"
#include "net/http_client.hpp"

namespace zelvo::launcher {
namespace {

constexpr int kProbeTimeoutMs = 2000;
constexpr const char* kPingPath = "/launcher/ping.txt";

std::string ascii_lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

std::string region_of_url(const std::string& url) {
  if (url.find("cdn-ru") != std::string::npos) return "RU";
  if (url.find("-ru-") != std::string::npos) return "RU";
  if (url.find("cdn-eu") != std::string::npos) return "EU";
  if (url.find("-eu") != std::string::npos) return "EU";
  return {};
}

std::vector<std::string> order_nodes(const std::string& preferred_region,
                                     const std::vector<std::string>& nodes) {
  const std::string wanted = ascii_lower(preferred_region);
  std::vector<std::string> preferred;
  std::vector<std::string> others;
  for (const std::string& node : nodes) {
    (ascii_lower(region_of_url(node)) == wanted ? preferred : others).push_back(node);
  }
  preferred.insert(preferred.end(), others.begin(), others.end());
  return preferred;
}

bool LauncherCore::select_host() {
  set_status(CorePhase::Connecting, "Подключаемся к серверу загрузки...", 0.0f, "");
  if (cdn_.nodes.empty()) {
    fail("Список CDN-узлов пуст.");
    return false;
  }

  std::string region;
  {
    std::lock_guard<std::mutex> lock(state_mutex_);
    region = forced_region_;
  }
  if (!region.empty()) {
    log_printf("host: region forced to '%s'", region.c_str());
  } else {
    const auto started = std::chrono::steady_clock::now();
    const bool reachable = client_->head(cdn_.geo_probe, kProbeTimeoutMs);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    region = reachable ? "eu" : "ru";
    log_printf("geo: %s %s in %d ms -> region %s", cdn_.geo_probe.c_str(),
               reachable ? "reachable" : "blocked/unreachable", static_cast<int>(elapsed.count()),
               region.c_str());
  }

  const std::vector<std::string> candidates = order_nodes(region, cdn_.nodes);
  for (const std::string& candidate : candidates) {
    set_status(CorePhase::Connecting, "Подключаемся...", 0.0f, candidate);
    if (!client_->head(join_url(candidate, kPingPath), kProbeTimeoutMs)) {
      log_printf("host: %s -> not reachable", candidate.c_str());
      continue;
    }
    log_printf("host: using %s (%s)", candidate.c_str(), region_of_url(candidate).c_str());
    {
      std::lock_guard<std::mutex> lock(state_mutex_);
      host_ = candidate;
    }
    notify_change();
    set_ready("Подключено через " + candidate);
    return true;
  }

  log_printf("host: all %zu CDN node(s) unreachable", candidates.size());
  log_hints("host", kHostHints);
  fail("CDN недоступны. Проверь интернет или попробуй позже.");
  return false;
}

}  // namespace zelvo::launcher
