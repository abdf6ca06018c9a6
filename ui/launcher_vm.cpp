#include "ui/launcher_vm.hpp"

#include <charconv>
#include <cstddef>
#include <limits>
#include <utility>

#include "app/helpers.hpp"
#include "app/log.hpp"
#include "app/version.hpp"
#include "config/client_config.hpp"
#include "core/launcher_core.hpp"
#include "files/file_digest.hpp"
#include "platform/platform.hpp"

namespace zelvo::launcher {

namespace {

constexpr const char* kInstallFolderName = "ZelvoOnline";

// Row index of an event: the leading integer of the first argument, 0 when
// it is not a number. A number beyond int gives -1 so that it names no row
// instead of wrapping onto one.
int row_index(const std::string& text) {
  long long value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  const std::errc ec = std::from_chars(first, last, value).ec;
  if (ec == std::errc::result_out_of_range) return -1;
  if (ec != std::errc{}) return 0;
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) return -1;
  return static_cast<int>(value);
}

bool valid_index(const LauncherVM& vm, int i) {
  return i >= 0 && static_cast<std::size_t>(i) < vm.entries.size();
}

std::string display_name(const ServerEntry& entry) {
  return entry.name.empty() ? entry.address : entry.name;
}

std::string stored_nick(const LauncherVM& vm, const std::string& key) {
  const auto it = vm.settings.server_nicknames.find(key);
  return it == vm.settings.server_nicknames.end() ? std::string() : it->second;
}

// Shared by set_font and set_window_mode: accepts any id, saves and marks.
void set_choice(LauncherVM& vm, std::string& field, const char* variable,
                const std::vector<std::string>& args) {
  if (args.empty()) return;
  const std::string& value = args.front();
  if (value == field) return;
  field = value;
  persist_settings(vm);
  vm.dirty(variable);
}

}  // namespace

void on_show_play(LauncherVM& vm) {
  vm.show_settings = false;
  vm.show_logs = false;
}

void on_show_settings(LauncherVM& vm) {
  vm.show_settings = true;
  vm.show_logs = false;
}

void on_show_logs(LauncherVM& vm) {
  vm.show_settings = false;
  vm.show_logs = true;
  rebuild_log_text(vm);
}

void on_copy_logs(LauncherVM& vm) {
  rebuild_log_text(vm);
  const bool ok = vm.platform && vm.platform->copy_to_clipboard(vm.log_text);
  set_log_status(vm, ok ? "Скопировано в буфер обмена" : "Не удалось скопировать");
}

void on_share_logs(LauncherVM& vm) {
  rebuild_log_text(vm);
  const bool ok = vm.platform && vm.platform->open_log_location(vm.log_text);
  set_log_status(vm, ok ? "Файл логов открыт в проводнике" : "Не удалось открыть файл");
}

void on_refresh_logs(LauncherVM& vm) { rebuild_log_text(vm); }

void on_refresh(LauncherVM& vm) {
  if (vm.core) vm.core->request_refresh();
}

void on_select(LauncherVM& vm, const std::vector<std::string>& args) {
  if (args.empty()) return;
  const int i = row_index(args.front());
  if (!valid_index(vm, i) || !vm.entries[static_cast<std::size_t>(i)].enabled) return;
  vm.selected = i;
}

void on_play(LauncherVM& vm) {
  const ServerEntry* entry = selected_entry(vm);
  if (!entry || !entry->enabled) return;
  if (!is_usable_game_dir(vm.game_dir)) {
    vm.need_install_dir = true;
    vm.dirty("need_install_dir");
    return;
  }
  std::string nick = stored_nick(vm, server_key(*entry));
  if (nick.empty()) nick = vm.nickname;
  vm.error_dismissed = false;
  if (nick.empty()) {
    vm.nick_missing = true;
    return;
  }
  vm.nick_missing = false;
  persist_settings(vm);
  if (vm.core) vm.core->request_play(nick, *entry, vm.restore_files);
}

void on_server_settings(LauncherVM& vm, const std::vector<std::string>& args) {
  if (args.empty()) return;
  const int i = row_index(args.front());
  if (!valid_index(vm, i)) return;
  const ServerEntry& entry = vm.entries[static_cast<std::size_t>(i)];
  vm.ss_key = server_key(entry);
  vm.ss_server_name = display_name(entry);
  vm.ss_nick = stored_nick(vm, vm.ss_key);
  vm.show_server_settings = true;
  vm.dirty("ss_server_name");
  vm.dirty("ss_nick");
  vm.dirty("show_server_settings");
}

void on_save_server_settings(LauncherVM& vm) {
  if (!vm.ss_key.empty()) {
    if (vm.ss_nick.empty()) {
      vm.settings.server_nicknames.erase(vm.ss_key);
    } else {
      vm.settings.server_nicknames[vm.ss_key] = vm.ss_nick;
    }
    persist_settings(vm);
    rebuild_server_rows(vm);
    vm.dirty("servers");
  }
  vm.show_server_settings = false;
  vm.dirty("show_server_settings");
}

void on_close_server_settings(LauncherVM& vm) {
  vm.show_server_settings = false;
  vm.dirty("show_server_settings");
}

void on_save_settings(LauncherVM& vm) {
  if (!vm.game_dir.empty() && vm.platform) vm.platform->set_game_dir(vm.game_dir);
  persist_settings(vm);
  vm.show_settings = false;
}

void on_browse_dir(LauncherVM& vm) {
  if (!vm.platform) return;
  apply_picked_dir(vm, vm.platform->pick_folder(vm.game_dir));
  if (is_usable_game_dir(vm.game_dir)) {
    vm.need_install_dir = false;
    vm.dirty("need_install_dir");
  }
}

void on_set_region(LauncherVM& vm, const std::vector<std::string>& args) {
  if (args.empty()) return;
  const std::string& value = args.front();
  if (value != "auto" && value != "ru" && value != "eu") return;
  if (value == vm.region_sel) return;
  vm.region_sel = value;
  vm.settings.region = value == "auto" ? std::string() : value;
  persist_settings(vm);
  vm.dirty("region_sel");
  if (vm.core) {
    vm.core->set_region(vm.settings.region);
    vm.core->request_reselect_host();
  }
}

void on_set_font(LauncherVM& vm, const std::vector<std::string>& args) {
  set_choice(vm, vm.font_sel, "font_sel", args);
}

void on_set_window_mode(LauncherVM& vm, const std::vector<std::string>& args) {
  set_choice(vm, vm.window_mode_sel, "window_mode_sel", args);
}

void on_dismiss_error(LauncherVM& vm) {
  vm.error_dismissed = true;
  vm.nick_missing = false;
}

void on_cancel(LauncherVM& vm) {
  if (vm.core) vm.core->cancel();
}

void on_update_launcher(LauncherVM& vm) {
  if (vm.core) vm.core->request_self_update();
}

void on_android_only(LauncherVM&) {}

void save_launcher_settings(LauncherVM& vm) {
  vm.settings.nickname = vm.nickname;
  vm.settings.game_dir = vm.game_dir;
  vm.settings.restore_files = vm.restore_files;
  if (const ServerEntry* entry = selected_entry(vm)) {
    vm.settings.last_server = entry->address + ":" + std::to_string(entry->port);
  }
  vm.settings.window_mode = vm.window_mode_sel;
  vm.settings.save(vm.settings_path);
}

void persist_settings(LauncherVM& vm) {
  save_launcher_settings(vm);
  if (!vm.game_dir.empty()) {
    ClientConfig::write_font(vm.game_dir, vm.font_sel);
    ClientConfig::write_window_mode(vm.game_dir, vm.window_mode_sel);
  }
}

void adopt_client_config(LauncherVM& vm) {
  vm.seen_game_dir = vm.game_dir;
  if (vm.game_dir.empty() || !file_exists(client_config_path(vm.game_dir))) return;
  std::string value;
  if (ClientConfig::read_font(vm.game_dir, value)) vm.font_sel = value;
  if (ClientConfig::read_window_mode(vm.game_dir, value)) vm.window_mode_sel = value;
  vm.dirty("font_sel");
  vm.dirty("window_mode_sel");
}

const ServerEntry* selected_entry(const LauncherVM& vm) {
  return valid_index(vm, vm.selected) ? &vm.entries[static_cast<std::size_t>(vm.selected)]
                                      : nullptr;
}

std::string server_key(const ServerEntry& entry) {
  if (!entry.id.empty()) return entry.id;
  return entry.address + ":" + std::to_string(entry.port);
}

void rebuild_server_rows(LauncherVM& vm) {
  vm.servers.clear();
  vm.servers.reserve(vm.entries.size());
  for (const ServerEntry& entry : vm.entries) {
    ServerVM row;
    row.name = display_name(entry);
    row.sub = entry.mode;
    row.enabled = entry.enabled;
    row.nick = stored_nick(vm, server_key(entry));
    if (!entry.enabled) {
      row.players = "Выключен";
    } else if (!entry.online) {
      row.players = "офлайн";
    } else if (entry.maxplayers > 0) {
      row.players = std::to_string(entry.players) + "/" + std::to_string(entry.maxplayers);
    }
    vm.servers.push_back(std::move(row));
  }
  vm.have_servers = !vm.servers.empty();
  const ServerEntry* entry = selected_entry(vm);
  if (!entry || !entry->enabled) {
    vm.selected = -1;
    for (std::size_t i = 0; i < vm.entries.size(); ++i) {
      if (vm.entries[i].enabled) {
        vm.selected = static_cast<int>(i);
        break;
      }
    }
  }
}

void rebuild_log_text(LauncherVM& vm) {
  std::string text = std::string("Zelvo Launcher v") + kLauncherVersion + " (pc)\n";
  if (vm.core) {
    const std::string host = vm.core->current_host();
    text += "host: " + (host.empty() ? std::string("(not connected)") : host) + "\n";
  }
  text += "----------------------------------------\n";
  text += log_recent_text();
  vm.log_text = std::move(text);
  vm.dirty("log_text");
}

void set_log_status(LauncherVM& vm, const std::string& text) {
  vm.log_status = text;
  vm.log_status_frames = 240;
  vm.dirty("log_status");
}

std::string normalize_game_dir(const std::string& path) {
  std::string dir = path;
  while (!dir.empty() && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
  if (dir.empty()) return {};
  const std::size_t slash = dir.find_last_of("/\\");
  const std::string last = slash == std::string::npos ? dir : dir.substr(slash + 1);
  if (last == kInstallFolderName) return dir;
  return dir + "/" + kInstallFolderName;
}

void apply_picked_dir(LauncherVM& vm, const std::string& path) {
  if (path.empty()) return;
  const std::string dir = normalize_game_dir(path);
  if (dir.empty()) return;
  vm.game_dir = dir;
  if (vm.platform) vm.platform->set_game_dir(dir);
  // An existing installation keeps its in-game font and window mode.
  adopt_client_config(vm);
  persist_settings(vm);
  vm.dirty("game_dir");
}

void init_from_settings(LauncherVM& vm, LauncherSettings settings,
                        const std::string& settings_path) {
  vm.settings_path = settings_path;
  vm.settings = std::move(settings);
  const std::string usable =
      is_usable_game_dir(vm.settings.game_dir) ? vm.settings.game_dir : std::string();
  vm.nickname = vm.settings.nickname;
  vm.game_dir = usable;
  vm.need_install_dir = usable.empty();
  vm.restore_files = vm.settings.restore_files;
  vm.region_sel = vm.settings.region.empty() ? "auto" : vm.settings.region;
  vm.window_mode_sel = vm.settings.window_mode.empty() ? "fullscreen" : vm.settings.window_mode;
  // Read here already: the first frame need not look at the folder again.
  vm.seen_game_dir = usable;
  if (usable.empty()) return;
  std::string value;
  if (ClientConfig::read_font(usable, value)) vm.font_sel = value;
  if (ClientConfig::read_window_mode(usable, value)) vm.window_mode_sel = value;
}

}  // namespace zelvo::launcher
