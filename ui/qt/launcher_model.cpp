#include "ui/qt/launcher_model.hpp"

#include <string>
#include <utility>

namespace zelvo::launcher {

namespace {

QString to_qstring(const std::string& text) { return QString::fromStdString(text); }

std::vector<std::string> one_arg(const QString& value) { return {value.toStdString()}; }
std::vector<std::string> one_arg(int value) { return {std::to_string(value)}; }

bool same_row(const ServerVM& a, const ServerVM& b) {
  return a.name == b.name && a.sub == b.sub && a.players == b.players && a.nick == b.nick &&
         a.enabled == b.enabled;
}

}  // namespace

ServerListModel::ServerListModel(QObject* parent) : QAbstractListModel(parent) {}

int ServerListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant ServerListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) return {};
  const ServerVM& row = rows_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case NameRole:
      return to_qstring(row.name);
    case SubRole:
      return to_qstring(row.sub);
    case PlayersRole:
      return to_qstring(row.players);
    case NickRole:
      return to_qstring(row.nick);
    case EnabledRole:
      return row.enabled;
    default:
      return {};
  }
}

QHash<int, QByteArray> ServerListModel::roleNames() const {
  return {{NameRole, "name"},
          {SubRole, "sub"},
          {PlayersRole, "players"},
          {NickRole, "nick"},
          {EnabledRole, "enabled"}};
}

void ServerListModel::publish(const std::vector<ServerVM>& rows) {
  if (rows.size() != rows_.size()) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
    return;
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (same_row(rows_[i], rows[i])) continue;
    rows_[i] = rows[i];
    const QModelIndex changed = index(static_cast<int>(i));
    emit dataChanged(changed, changed);
  }
}

template <typename T, typename Signal>
void LauncherModel::update(T& published, const T& value, Signal signal) {
  if (published == value) return;
  published = value;
  emit(this->*signal)();
}

template <typename Handler>
void LauncherModel::handle(Handler handler) {
  ++event_depth_;
  handler(vm_);
  --event_depth_;
  emit frame_wanted();
}

LauncherModel::LauncherModel(LauncherVM& vm, QObject* parent) : QObject(parent), vm_(vm) {
  publish_all();
  vm_.mark_dirty = [this](const char* variable) { publish(variable); };
}

LauncherModel::~LauncherModel() { vm_.mark_dirty = nullptr; }

void LauncherModel::publish(std::string_view variable) {
  if (variable == "servers") {
    servers_.publish(vm_.servers);
    return;
  }
  for (const Publisher& p : publishers()) {
    if (p.name == variable) {
      p.publish(*this);
      return;
    }
  }
}

void LauncherModel::publish_all() {
  servers_.publish(vm_.servers);
  for (const Publisher& p : publishers()) p.publish(*this);
}

void LauncherModel::set_nickname(const QString& value) {
  vm_.nickname = value.toStdString();
  update(nickname_, value, &LauncherModel::nickname_changed);
  emit frame_wanted();
}

void LauncherModel::set_game_dir(const QString& value) {
  vm_.game_dir = value.toStdString();
  update(game_dir_, value, &LauncherModel::game_dir_changed);
  emit frame_wanted();
}

void LauncherModel::set_restore_files(bool value) {
  vm_.restore_files = value;
  update(restore_files_, value, &LauncherModel::restore_files_changed);
  emit frame_wanted();
}

void LauncherModel::set_ss_nick(const QString& value) {
  vm_.ss_nick = value.toStdString();
  update(ss_nick_, value, &LauncherModel::ss_nick_changed);
  emit frame_wanted();
}
void LauncherModel::show_play() { handle(on_show_play); }
void LauncherModel::show_settings_view() { handle(on_show_settings); }
void LauncherModel::show_logs_view() { handle(on_show_logs); }
void LauncherModel::update_launcher() { handle(on_update_launcher); }
void LauncherModel::select(int row) {
  handle([&](LauncherVM& vm) { on_select(vm, one_arg(row)); });
}
void LauncherModel::server_settings(int row) {
  handle([&](LauncherVM& vm) { on_server_settings(vm, one_arg(row)); });
}
void LauncherModel::play() { handle(on_play); }
void LauncherModel::browse_dir() { handle(on_browse_dir); }
void LauncherModel::set_window_mode(const QString& mode) {
  handle([&](LauncherVM& vm) { on_set_window_mode(vm, one_arg(mode)); });
}
void LauncherModel::set_font(const QString& font) {
  handle([&](LauncherVM& vm) { on_set_font(vm, one_arg(font)); });
}
void LauncherModel::set_keyboard(const QString&) { handle(on_android_only); }
void LauncherModel::pick_android_keyboard() { handle(on_android_only); }
void LauncherModel::set_region(const QString& region) {
  handle([&](LauncherVM& vm) { on_set_region(vm, one_arg(region)); });
}
void LauncherModel::copy_logs() { handle(on_copy_logs); }
void LauncherModel::share_logs() { handle(on_share_logs); }
void LauncherModel::refresh_logs() { handle(on_refresh_logs); }
void LauncherModel::refresh() { handle(on_refresh); }
void LauncherModel::save_settings() { handle(on_save_settings); }
void LauncherModel::cancel() { handle(on_cancel); }
void LauncherModel::dismiss_error() { handle(on_dismiss_error); }
void LauncherModel::grant_install() { handle(on_android_only); }
void LauncherModel::dismiss_install_perm() { handle(on_android_only); }
void LauncherModel::grant_battery_opt() { handle(on_android_only); }
void LauncherModel::dismiss_battery_opt() { handle(on_android_only); }
void LauncherModel::dismiss_battery_opt_warn() { handle(on_android_only); }
void LauncherModel::close_server_settings() { handle(on_close_server_settings); }
void LauncherModel::save_server_settings() { handle(on_save_server_settings); }

std::span<const LauncherModel::Publisher> LauncherModel::publishers() {
  static const Publisher table[] = {
      {"nickname",
       [](LauncherModel& m) {
         m.update(m.nickname_, to_qstring(m.vm_.nickname), &LauncherModel::nickname_changed);
       }},
      {"game_dir",
       [](LauncherModel& m) {
         m.update(m.game_dir_, to_qstring(m.vm_.game_dir), &LauncherModel::game_dir_changed);
       }},
      {"restore_files",
       [](LauncherModel& m) {
         m.update(m.restore_files_, m.vm_.restore_files, &LauncherModel::restore_files_changed);
       }},
      {"cache_in_root",
       [](LauncherModel& m) {
         m.update(m.cache_in_root_, m.vm_.cache_in_root, &LauncherModel::cache_in_root_changed);
       }},
      {"cache_note",
       [](LauncherModel& m) {
         m.update(m.cache_note_, to_qstring(m.vm_.cache_note), &LauncherModel::cache_note_changed);
       }},
      {"cache_move_note",
       [](LauncherModel& m) {
         m.update(m.cache_move_note_, to_qstring(m.vm_.cache_move_note),
                  &LauncherModel::cache_move_note_changed);
       }},
      {"font_sel",
       [](LauncherModel& m) {
         m.update(m.font_sel_, to_qstring(m.vm_.font_sel), &LauncherModel::font_sel_changed);
       }},
      {"kb_sel",
       [](LauncherModel& m) {
         m.update(m.kb_sel_, to_qstring(m.vm_.kb_sel), &LauncherModel::kb_sel_changed);
       }},
      {"show_settings",
       [](LauncherModel& m) {
         m.update(m.show_settings_, m.vm_.show_settings, &LauncherModel::show_settings_changed);
       }},
      {"show_logs",
       [](LauncherModel& m) {
         m.update(m.show_logs_, m.vm_.show_logs, &LauncherModel::show_logs_changed);
       }},
      {"is_android",
       [](LauncherModel& m) {
         m.update(m.is_android_, m.vm_.is_android, &LauncherModel::is_android_changed);
       }},
      {"log_text",
       [](LauncherModel& m) {
         m.update(m.log_text_, to_qstring(m.vm_.log_text), &LauncherModel::log_text_changed);
       }},
      {"log_status",
       [](LauncherModel& m) {
         m.update(m.log_status_, to_qstring(m.vm_.log_status), &LauncherModel::log_status_changed);
       }},
      {"show_game_dir",
       [](LauncherModel& m) {
         m.update(m.show_game_dir_, m.vm_.show_game_dir, &LauncherModel::show_game_dir_changed);
       }},
      {"need_install_dir",
       [](LauncherModel& m) {
         m.update(m.need_install_dir_, m.vm_.need_install_dir,
                  &LauncherModel::need_install_dir_changed);
       }},
      {"region_sel",
       [](LauncherModel& m) {
         m.update(m.region_sel_, to_qstring(m.vm_.region_sel), &LauncherModel::region_sel_changed);
       }},
      {"window_mode_sel",
       [](LauncherModel& m) {
         m.update(m.window_mode_sel_, to_qstring(m.vm_.window_mode_sel),
                  &LauncherModel::window_mode_sel_changed);
       }},
      {"selected",
       [](LauncherModel& m) {
         m.update(m.selected_, m.vm_.selected, &LauncherModel::selected_changed);
       }},
      {"have_servers",
       [](LauncherModel& m) {
         m.update(m.have_servers_, m.vm_.have_servers, &LauncherModel::have_servers_changed);
       }},
      {"servers_loading",
       [](LauncherModel& m) {
         m.update(m.servers_loading_, m.vm_.servers_loading,
                  &LauncherModel::servers_loading_changed);
       }},
      {"no_servers",
       [](LauncherModel& m) {
         m.update(m.no_servers_, m.vm_.no_servers, &LauncherModel::no_servers_changed);
       }},
      {"can_play",
       [](LauncherModel& m) {
         m.update(m.can_play_, m.vm_.can_play, &LauncherModel::can_play_changed);
       }},
      {"play_label",
       [](LauncherModel& m) {
         m.update(m.play_label_, to_qstring(m.vm_.play_label), &LauncherModel::play_label_changed);
       }},
      {"host_label",
       [](LauncherModel& m) {
         m.update(m.host_label_, to_qstring(m.vm_.host_label), &LauncherModel::host_label_changed);
       }},
      {"host_ok",
       [](LauncherModel& m) {
         m.update(m.host_ok_, m.vm_.host_ok, &LauncherModel::host_ok_changed);
       }},
      {"host_bad",
       [](LauncherModel& m) {
         m.update(m.host_bad_, m.vm_.host_bad, &LauncherModel::host_bad_changed);
       }},
      {"overlay_visible",
       [](LauncherModel& m) {
         m.update(m.overlay_visible_, m.vm_.overlay_visible,
                  &LauncherModel::overlay_visible_changed);
       }},
      {"is_error",
       [](LauncherModel& m) {
         m.update(m.is_error_, m.vm_.is_error, &LauncherModel::is_error_changed);
       }},
      {"can_cancel",
       [](LauncherModel& m) {
         m.update(m.can_cancel_, m.vm_.can_cancel, &LauncherModel::can_cancel_changed);
       }},
      {"update_available",
       [](LauncherModel& m) {
         m.update(m.update_available_, m.vm_.update_available,
                  &LauncherModel::update_available_changed);
       }},
      {"need_install_perm",
       [](LauncherModel& m) {
         m.update(m.need_install_perm_, m.vm_.need_install_perm,
                  &LauncherModel::need_install_perm_changed);
       }},
      {"need_battery_opt",
       [](LauncherModel& m) {
         m.update(m.need_battery_opt_, m.vm_.need_battery_opt,
                  &LauncherModel::need_battery_opt_changed);
       }},
      {"need_battery_opt_warn",
       [](LauncherModel& m) {
         m.update(m.need_battery_opt_warn_, m.vm_.need_battery_opt_warn,
                  &LauncherModel::need_battery_opt_warn_changed);
       }},
      {"show_server_settings",
       [](LauncherModel& m) {
         m.update(m.show_server_settings_, m.vm_.show_server_settings,
                  &LauncherModel::show_server_settings_changed);
       }},
      {"ss_server_name",
       [](LauncherModel& m) {
         m.update(m.ss_server_name_, to_qstring(m.vm_.ss_server_name),
                  &LauncherModel::ss_server_name_changed);
       }},
      {"ss_nick",
       [](LauncherModel& m) {
         m.update(m.ss_nick_, to_qstring(m.vm_.ss_nick), &LauncherModel::ss_nick_changed);
       }},
      {"update_version",
       [](LauncherModel& m) {
         m.update(m.update_version_, to_qstring(m.vm_.update_version),
                  &LauncherModel::update_version_changed);
       }},
      {"app_version",
       [](LauncherModel& m) {
         m.update(m.app_version_, to_qstring(m.vm_.app_version),
                  &LauncherModel::app_version_changed);
       }},
      {"status_message",
       [](LauncherModel& m) {
         m.update(m.status_message_, to_qstring(m.vm_.status_message),
                  &LauncherModel::status_message_changed);
       }},
      {"status_detail",
       [](LauncherModel& m) {
         m.update(m.status_detail_, to_qstring(m.vm_.status_detail),
                  &LauncherModel::status_detail_changed);
       }},
      {"progress_width",
       [](LauncherModel& m) {
         m.update(m.progress_width_, to_qstring(m.vm_.progress_width),
                  &LauncherModel::progress_width_changed);
       }},
      {"splash",
       [](LauncherModel& m) {
         m.update(m.splash_, to_qstring(m.vm_.splash), &LauncherModel::splash_changed);
       }},
  };
  return table;
}

}  // namespace zelvo::launcher
