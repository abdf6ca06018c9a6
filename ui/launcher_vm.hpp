#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/launcher_settings.hpp"
#include "net/server_entry.hpp"

namespace zelvo::launcher {

class LauncherCore;
class IPlatform;

// One row of the server list.
struct ServerVM {
  std::string name;
  std::string sub;
  std::string players;
  std::string nick;
  bool enabled = true;
};

// The record behind the data model "launcher": bound variables, the state the
// handlers keep, and the handlers themselves. Plain C++ so that the logic is
// tested without a window; the window binds it through an adapter that turns
// every dirty mark into a change notification.
struct LauncherVM {
  // --- bound variables ---------------------------------------------------
  std::string nickname;
  std::string game_dir;
  bool restore_files = false;
  bool cache_in_root = false;
  std::string cache_note;
  std::string cache_move_note;
  std::string font_sel = "default";
  std::string kb_sel = "modern";
  bool show_settings = false;
  bool show_logs = false;
  bool is_android = false;
  std::string log_text;
  std::string log_status;
  bool show_game_dir = true;
  bool need_install_dir = false;
  std::string region_sel = "auto";
  std::string window_mode_sel = "fullscreen";
  std::vector<ServerVM> servers;
  int selected = -1;
  bool have_servers = false;
  bool servers_loading = true;
  bool no_servers = false;
  bool can_play = false;
  std::string play_label = "Играть";
  std::string host_label;
  bool host_ok = false;
  bool host_bad = false;
  bool overlay_visible = false;
  bool is_error = false;
  bool can_cancel = false;
  bool update_available = false;
  bool need_install_perm = false;
  bool need_battery_opt = false;
  bool need_battery_opt_warn = false;
  bool show_server_settings = false;
  std::string ss_server_name;
  std::string ss_nick;
  std::string update_version;
  std::string app_version = "0.47";
  std::string status_message;
  std::string status_detail;
  std::string progress_width = "0%";
  std::string splash;

  // --- handler state (not bound) ------------------------------------------
  std::string ss_key;
  std::vector<ServerEntry> entries;
  bool servers_settled = false;
  LauncherSettings settings;
  std::string settings_path;
  LauncherCore* core = nullptr;
  IPlatform* platform = nullptr;
  bool error_dismissed = false;
  bool nick_missing = false;
  bool quit_requested = false;
  int log_status_frames = 0;
  int logs_refresh_counter = 0;
  // Game folder seen at the previous frame's check.
  std::string seen_game_dir;

  // Receives the name of every variable that may have changed; the window
  // adapter notifies the ones whose value really differs.
  std::function<void(const char* variable)> mark_dirty;
  void dirty(const char* variable) const {
    if (mark_dirty) mark_dirty(variable);
  }
};

// Event handlers. Arguments arrive as the document gives them: text that is
// converted as the event needs (a row index that is not a number counts as 0).
void on_show_play(LauncherVM& vm);
void on_show_settings(LauncherVM& vm);
void on_show_logs(LauncherVM& vm);
void on_copy_logs(LauncherVM& vm);
void on_share_logs(LauncherVM& vm);
void on_refresh_logs(LauncherVM& vm);
void on_refresh(LauncherVM& vm);
void on_select(LauncherVM& vm, const std::vector<std::string>& args);
void on_play(LauncherVM& vm);
void on_server_settings(LauncherVM& vm, const std::vector<std::string>& args);
void on_save_server_settings(LauncherVM& vm);
void on_close_server_settings(LauncherVM& vm);
void on_save_settings(LauncherVM& vm);
void on_browse_dir(LauncherVM& vm);
void on_set_region(LauncherVM& vm, const std::vector<std::string>& args);
void on_set_font(LauncherVM& vm, const std::vector<std::string>& args);
void on_set_window_mode(LauncherVM& vm, const std::vector<std::string>& args);
void on_dismiss_error(LauncherVM& vm);
void on_cancel(LauncherVM& vm);
void on_update_launcher(LauncherVM& vm);
// set_keyboard, pick_android_keyboard, grant_install, dismiss_install_perm,
// grant_battery_opt, dismiss_battery_opt, dismiss_battery_opt_warn.
void on_android_only(LauncherVM& vm);

// Supporting operations.
// launcher.json, then the game folder's client configuration.
void persist_settings(LauncherVM& vm);
// launcher.json only: used while the user types, when the folder in the text
// box may be a half-typed path through unrelated existing folders.
void save_launcher_settings(LauncherVM& vm);
// A game folder that already has a client_config.json brings its own font and
// window mode; for a folder without one the current choice stays and is
// written at the next persist_settings.
void adopt_client_config(LauncherVM& vm);
// The entry of the selected row, null when the selection names no row.
const ServerEntry* selected_entry(const LauncherVM& vm);
std::string server_key(const ServerEntry& entry);
void rebuild_server_rows(LauncherVM& vm);
void rebuild_log_text(LauncherVM& vm);
void set_log_status(LauncherVM& vm, const std::string& text);
std::string normalize_game_dir(const std::string& path);
void apply_picked_dir(LauncherVM& vm, const std::string& path);

// Start-up fill of the model from the loaded settings (and the game's client
// configuration when the folder is usable).
void init_from_settings(LauncherVM& vm, LauncherSettings settings, const std::string& settings_path);

// Once per frame: copies the core's state into the model. steady_ns is the
// monotonic clock reading that picks the splash phrase.
void sync_frame(LauncherVM& vm, std::int64_t steady_ns);

}  // namespace zelvo::launcher
