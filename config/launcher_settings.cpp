#include "config/launcher_settings.hpp"

#include <nlohmann/json.hpp>

#include "app/json_file.hpp"

namespace zelvo::launcher {
namespace {

using nlohmann::json;

void take_string(const json& object, const char* key, std::string& field) {
  const auto it = object.find(key);
  if (it != object.end() && it->is_string()) field = it->get<std::string>();
}

void take_bool(const json& object, const char* key, bool& field) {
  const auto it = object.find(key);
  if (it != object.end() && it->is_boolean()) field = it->get<bool>();
}

}  // namespace

LauncherSettings LauncherSettings::load(const std::string& path) {
  LauncherSettings settings;
  std::string text;
  if (!read_file(path, text)) return settings;
  const json root = json::parse(text, nullptr, false, false);
  if (root.is_discarded() || !root.is_object()) return settings;

  take_string(root, "nickname", settings.nickname);
  take_string(root, "game_dir", settings.game_dir);
  take_string(root, "last_server", settings.last_server);
  take_string(root, "region", settings.region);
  take_string(root, "window_mode", settings.window_mode);
  take_bool(root, "restore_files", settings.restore_files);
  take_bool(root, "battery_opt_dismissed", settings.battery_opt_dismissed);
  take_bool(root, "fullscreen", settings.fullscreen);
  const auto cache = root.find("cache_in_root");
  if (cache != root.end() && cache->is_boolean()) settings.cache_in_root = cache->get<bool>();
  // Older launchers named the option "reset_modified"; it wins when both are there.
  take_bool(root, "reset_modified", settings.restore_files);

  const auto nicknames = root.find("server_nicknames");
  if (nicknames != root.end() && nicknames->is_object()) {
    for (const auto& [key, value] : nicknames->items()) {
      if (value.is_string() && !value.get_ref<const std::string&>().empty()) {
        settings.server_nicknames[key] = value.get<std::string>();
      }
    }
  }
  return settings;
}

bool LauncherSettings::save(const std::string& path) const {
  json root = json::object();
  root["nickname"] = nickname;
  root["game_dir"] = game_dir;
  root["last_server"] = last_server;
  root["region"] = region;
  root["window_mode"] = window_mode;
  root["restore_files"] = restore_files;
  root["battery_opt_dismissed"] = battery_opt_dismissed;
  root["fullscreen"] = fullscreen;
  if (cache_in_root) root["cache_in_root"] = *cache_in_root;
  json nicknames = json::object();
  for (const auto& [key, value] : server_nicknames) {
    if (!value.empty()) nicknames[key] = value;
  }
  root["server_nicknames"] = std::move(nicknames);
  return write_file_atomically(path, dump_json_file_text(root));
}

}  // namespace zelvo::launcher
