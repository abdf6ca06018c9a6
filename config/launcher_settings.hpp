#pragma once

#include <map>
#include <optional>
#include <string>

namespace zelvo::launcher {

// The launcher's persisted choices in launcher.json next to the executable.
struct LauncherSettings {
  std::string nickname;
  std::string game_dir;
  std::string last_server;
  bool restore_files = false;
  bool battery_opt_dismissed = false;
  std::optional<bool> cache_in_root;  // written back only when it was read
  bool fullscreen = false;
  std::string region;
  std::string window_mode;
  std::map<std::string, std::string> server_nicknames;

  bool operator==(const LauncherSettings&) const = default;

  // Never fails: any problem yields the defaults.
  static LauncherSettings load(const std::string& path);
  // Replaces the file atomically; false leaves the old file as it was.
  bool save(const std::string& path) const;
};

}  // namespace zelvo::launcher
