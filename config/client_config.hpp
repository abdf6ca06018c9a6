#pragma once

#include <string>

namespace zelvo::launcher {

// Font and window mode of the game client in <game folder>/client_config.json;
// every other member the game wrote is kept.
class ClientConfig {
 public:
  static bool read_font(const std::string& game_dir, std::string& font);
  static bool read_window_mode(const std::string& game_dir, std::string& mode);
  static bool write_font(const std::string& game_dir, const std::string& font);
  static bool write_window_mode(const std::string& game_dir, const std::string& mode);
};

// "" when game_dir is empty.
std::string client_config_path(const std::string& game_dir);
// out = the id when it is one of the six font ids ("" counts as "default"), else "default".
bool validate_font(const std::string& id, std::string& out);
// "windowed" and "borderless" unchanged; anything else "fullscreen".
std::string normalize_window_mode(const std::string& mode);

}  // namespace zelvo::launcher
