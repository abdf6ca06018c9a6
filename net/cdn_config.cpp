#include "net/cdn_config.hpp"

#include <cstdlib>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "app/json_file.hpp"
#include "app/log.hpp"

namespace zelvo::launcher {

CdnConfig default_cdn_config() {
  CdnConfig config;
  config.nodes = {"https://cdn-ru.zelvo-online.ru", "https://cdn-eu.zelvo-online.com"};
  // A site unreachable from RU networks: an answer means EU nodes are the closer ones.
  config.geo_probe = "https://www.facebook.com/favicon.ico";
  return config;
}

bool parse_cdn_config(const std::string& text, const CdnConfig& base, CdnConfig& out,
                      std::string& error) {
  out = base;
  const nlohmann::json root = nlohmann::json::parse(text, nullptr, false, false);
  if (root.is_discarded()) {
    error = "not valid JSON";
    return false;
  }
  if (!root.is_object()) {
    error = "the root is not a JSON object";
    return false;
  }
  CdnConfig parsed = base;
  if (const auto it = root.find("nodes"); it != root.end()) {
    if (!it->is_array()) {
      error = "\"nodes\" is not an array";
      return false;
    }
    parsed.nodes.clear();
    for (const auto& node : *it) {
      if (!node.is_string() || node.get_ref<const std::string&>().empty()) {
        error = "\"nodes\" holds an element that is not a non-empty string";
        return false;
      }
      parsed.nodes.push_back(node.get<std::string>());
    }
  }
  for (const auto& [key, field] : {std::pair{"geo_probe", &CdnConfig::geo_probe},
                                   std::pair{"ca_file", &CdnConfig::ca_file}}) {
    if (const auto it = root.find(key); it != root.end()) {
      if (!it->is_string()) {
        error = std::string("\"") + key + "\" is not a string";
        return false;
      }
      parsed.*field = it->get<std::string>();
    }
  }
  out = std::move(parsed);
  return true;
}

CdnConfig load_cdn_config(const std::string& exe_dir) {
  const CdnConfig defaults = default_cdn_config();
  const char* env = std::getenv("ZELVO_CDN_CONFIG");
  const bool named = env != nullptr && *env != '\0';
  const std::string path = named ? std::string(env) : exe_dir + "/cdn.json";

  std::error_code ec;
  if (!named && !std::filesystem::exists(path, ec)) return defaults;
  std::string text;
  if (!read_file(path, text)) {
    log_printf("cdn config: cannot read %s, using the built-in nodes", path.c_str());
    return defaults;
  }
  CdnConfig config;
  std::string error;
  if (!parse_cdn_config(text, defaults, config, error)) {
    log_printf("cdn config: ignoring %s: %s", path.c_str(), error.c_str());
    return defaults;
  }
  if (!config.ca_file.empty() && std::filesystem::path(config.ca_file).is_relative()) {
    config.ca_file =
        (std::filesystem::path(path).parent_path() / config.ca_file).lexically_normal().string();
  }
  log_printf("cdn config: using %s with %zu node(s)", path.c_str(), config.nodes.size());
  if (!config.ca_file.empty() && !std::filesystem::is_regular_file(config.ca_file, ec))
    log_printf("cdn config: ca_file %s not found", config.ca_file.c_str());
  return config;
}

}  // namespace zelvo::launcher
