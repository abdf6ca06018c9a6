#include "config/client_config.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include <nlohmann/json.hpp>

#include "app/json_file.hpp"

namespace zelvo::launcher {
namespace {

using nlohmann::json;

constexpr std::array<const char*, 6> kFontIds = {"default", "segoe_ui", "arial",
                                                 "tahoma",  "verdana",  "roboto"};

json load_client_config(const std::string& path) {
  std::string text;
  if (!read_file(path, text)) return json::object();
  json root = json::parse(text, nullptr, false, false);
  if (root.is_discarded() || !root.is_object()) return json::object();
  return root;
}

// The game reads "version" as an integer. A string, null, array or object
// there is no version the launcher can keep, so it writes 1, the same as for a
// missing key: the game then meets the only format this launcher writes.
json version_to_write(const json& root) {
  const auto it = root.find("version");
  if (it == root.end()) return 1;
  if (it->is_number_integer()) return *it;
  if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
  if (it->is_number_float()) {
    // Truncated; clamped so a huge value does not overflow the conversion.
    const double value = std::trunc(it->get<double>());
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (value >= kLimit) return std::numeric_limits<std::int64_t>::max();
    if (value < -kLimit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
  }
  return 1;
}

bool save_client_config(const std::string& path, json root) {
  root["version"] = version_to_write(root);
  return write_file_atomically(path, dump_json_file_text(root));
}

}  // namespace

std::string client_config_path(const std::string& game_dir) {
  if (game_dir.empty()) return {};
  const char last = game_dir.back();
  if (last == '/' || last == '\\') return game_dir + "client_config.json";
  return game_dir + "/client_config.json";
}

bool validate_font(const std::string& id, std::string& out) {
  out = "default";
  if (id.empty()) return true;
  for (const char* known : kFontIds) {
    if (id == known) {
      out = known;
      return true;
    }
  }
  return false;
}

std::string normalize_window_mode(const std::string& mode) {
  if (mode == "windowed" || mode == "borderless") return mode;
  return "fullscreen";
}

bool ClientConfig::read_font(const std::string& game_dir, std::string& font) {
  if (game_dir.empty()) return false;
  const json root = load_client_config(client_config_path(game_dir));
  const auto it = root.find("font");
  if (it == root.end() || !it->is_string()) {
    font = "default";
    return true;
  }
  return validate_font(it->get<std::string>(), font);
}

bool ClientConfig::read_window_mode(const std::string& game_dir, std::string& mode) {
  if (game_dir.empty()) return false;
  const json root = load_client_config(client_config_path(game_dir));
  std::string raw;
  const auto window = root.find("window");
  if (window != root.end() && window->is_object()) {
    const auto it = window->find("mode");
    if (it != window->end() && it->is_string()) raw = it->get<std::string>();
  }
  mode = normalize_window_mode(raw);
  return true;
}

bool ClientConfig::write_font(const std::string& game_dir, const std::string& font) {
  if (game_dir.empty()) return false;
  std::string id;
  if (!validate_font(font, id)) return false;
  const std::string path = client_config_path(game_dir);
  json root = load_client_config(path);
  root["font"] = id;
  return save_client_config(path, std::move(root));
}

bool ClientConfig::write_window_mode(const std::string& game_dir, const std::string& mode) {
  if (game_dir.empty()) return false;
  const std::string path = client_config_path(game_dir);
  json root = load_client_config(path);
  json& window = root["window"];
  if (!window.is_object()) window = json::object();
  window["mode"] = normalize_window_mode(mode);
  return save_client_config(path, std::move(root));
}

}  // namespace zelvo::launcher
