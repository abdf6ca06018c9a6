#include "ui/qt/launcher_model.hpp"

#include <string>
#include <utility>

namespace zelvo::launcher {

namespace {

QString to_qstring(const std::string& text) { return QString::fromStdString(text); }

// A model value as the window holds it: texts become QString, the rest stay.
QString qt_value(const std::string& text) { return to_qstring(text); }
template <typename T>
T qt_value(T value) {
  return value;
}

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

// A variable's publisher compares the model's value, in Qt's form, with the
// one last published under the same name.
#define ZELVO_PUBLISHER(name)                                                    \
  Publisher {                                                                    \
    #name, [](LauncherModel& m) {                                                \
      m.update(m.name##_, qt_value(m.vm_.name), &LauncherModel::name##_changed); \
    }                                                                            \
  }

std::span<const LauncherModel::Publisher> LauncherModel::publishers() {
  static const Publisher table[] = {
      ZELVO_PUBLISHER(nickname),
      ZELVO_PUBLISHER(game_dir),
      ZELVO_PUBLISHER(restore_files),
      ZELVO_PUBLISHER(cache_in_root),
      ZELVO_PUBLISHER(cache_note),
      ZELVO_PUBLISHER(cache_move_note),
      ZELVO_PUBLISHER(font_sel),
      ZELVO_PUBLISHER(kb_sel),
      ZELVO_PUBLISHER(show_settings),
      ZELVO_PUBLISHER(show_logs),
      ZELVO_PUBLISHER(is_android),
      ZELVO_PUBLISHER(log_text),
      ZELVO_PUBLISHER(log_status),
      ZELVO_PUBLISHER(show_game_dir),
      ZELVO_PUBLISHER(need_install_dir),
      ZELVO_PUBLISHER(region_sel),
      ZELVO_PUBLISHER(window_mode_sel),
      ZELVO_PUBLISHER(selected),
      ZELVO_PUBLISHER(have_servers),
      ZELVO_PUBLISHER(servers_loading),
      ZELVO_PUBLISHER(no_servers),
      ZELVO_PUBLISHER(can_play),
      ZELVO_PUBLISHER(play_label),
      ZELVO_PUBLISHER(host_label),
      ZELVO_PUBLISHER(host_ok),
      ZELVO_PUBLISHER(host_bad),
      ZELVO_PUBLISHER(overlay_visible),
      ZELVO_PUBLISHER(is_error),
      ZELVO_PUBLISHER(can_cancel),
      ZELVO_PUBLISHER(update_available),
      ZELVO_PUBLISHER(need_install_perm),
      ZELVO_PUBLISHER(need_battery_opt),
      ZELVO_PUBLISHER(need_battery_opt_warn),
      ZELVO_PUBLISHER(show_server_settings),
      ZELVO_PUBLISHER(ss_server_name),
      ZELVO_PUBLISHER(ss_nick),
      ZELVO_PUBLISHER(update_version),
      ZELVO_PUBLISHER(app_version),
      ZELVO_PUBLISHER(status_message),
      ZELVO_PUBLISHER(status_detail),
      ZELVO_PUBLISHER(progress_width),
      ZELVO_PUBLISHER(splash),
  };
  return table;
}

#undef ZELVO_PUBLISHER

}  // namespace zelvo::launcher
