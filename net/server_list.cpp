#include "net/server_list.hpp"

#include <nlohmann/json.hpp>

#include "app/helpers.hpp"
#include "app/log.hpp"
#include "core/launcher_core.hpp"
#include "net/http_client.hpp"

namespace zelvo::launcher {
namespace {

constexpr int kTextTimeoutSeconds = 15;

void read_string(const nlohmann::json& object, const char* key, std::string& field) {
  const auto it = object.find(key);
  if (it != object.end() && it->is_string()) field = it->get<std::string>();
}

// Signed and unsigned JSON integers alike, cut to 32 bits.
void read_int(const nlohmann::json& object, const char* key, std::int32_t& field) {
  const auto it = object.find(key);
  if (it == object.end()) return;
  if (it->is_number_unsigned()) {
    field = static_cast<std::int32_t>(it->get<std::uint64_t>());
  } else if (it->is_number_integer()) {
    field = static_cast<std::int32_t>(it->get<std::int64_t>());
  }
}

bool read_bool(const nlohmann::json& object, const char* key, bool& field) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_boolean()) return false;
  field = it->get<bool>();
  return true;
}

}  // namespace

std::vector<ServerEntry> parse_server_list(const std::string& text) {
  std::vector<ServerEntry> servers;
  const nlohmann::json root = nlohmann::json::parse(text, nullptr, false, false);
  if (root.is_discarded()) return servers;
  const nlohmann::json* list = nullptr;
  if (root.is_array()) {
    list = &root;
  } else if (root.is_object()) {
    const auto it = root.find("servers");
    if (it != root.end() && it->is_array()) list = &*it;
  }
  if (list == nullptr) return servers;

  for (const nlohmann::json& item : *list) {
    if (!item.is_object()) continue;
    ServerEntry entry;
    read_string(item, "name", entry.name);
    read_string(item, "id", entry.id);
    read_string(item, "address", entry.address);
    if (entry.address.empty()) read_string(item, "ip", entry.address);
    read_int(item, "port", entry.port);
    read_string(item, "mode", entry.mode);
    if (entry.mode.empty()) read_string(item, "gamemode", entry.mode);
    read_string(item, "map", entry.map);
    read_int(item, "players", entry.players);
    read_int(item, "maxplayers", entry.maxplayers);
    read_bool(item, "enabled", entry.enabled);
    if (!read_bool(item, "online", entry.online)) read_bool(item, "online_live", entry.online);
    if (!entry.enabled) entry.online = false;
    if (!entry.address.empty()) servers.push_back(std::move(entry));
  }
  return servers;
}

void LauncherCore::fetch_servers() {
  set_status(CorePhase::LoadingServers, "Загружаем список серверов...", 0.0f, "");
  const std::string host = current_host();

  const std::string url = join_url(host, "/launcher/online.php");
  log_printf("servers: GET %s", url.c_str());
  std::string body;
  if (!client_->get(url, body, kTextTimeoutSeconds)) {
    log_printf("servers: online.php unavailable, trying servers.json");
    body.clear();
    const std::string fallback = join_url(host, "/launcher/servers.json");
    if (!client_->get(fallback, body, kTextTimeoutSeconds)) {
      log_printf("servers: url=%s", fallback.c_str());
      const std::string reason = client_->last_error();
      if (!reason.empty()) log_printf("servers: reason: %s", reason.c_str());
      log_hints("servers", kServerHints);
      fail("Не удалось загрузить список серверов.");
      return;
    }
  }

  std::vector<ServerEntry> servers = parse_server_list(body);
  log_printf("servers: parsed %zu server(s)", servers.size());
  store_servers(std::move(servers));
  set_ready("Готово");
}

}  // namespace zelvo::launcher
