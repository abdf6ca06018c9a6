#pragma once

#include <QAbstractListModel>
#include <QObject>
#include <QString>
#include <span>
#include <string_view>
#include <vector>

#include "ui/launcher_vm.hpp"

namespace zelvo::launcher {

// The rows of `servers` for the document (roles name, sub, players, nick,
// enabled). Rows are compared with the last published ones, so only rows
// whose content changed are announced.
class ServerListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  enum Role { NameRole = Qt::UserRole + 1, SubRole, PlayersRole, NickRole, EnabledRole };

  explicit ServerListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

  void publish(const std::vector<ServerVM>& rows);

 private:
  std::vector<ServerVM> rows_;
};

// The data model "launcher": the LauncherVM as QML sees it. Each bound
// variable is a property of the same name whose change signal fires only
// when a dirty mark finds a value different from the one last published;
// the document's two-way inputs write through the setters. Each event is an
// invokable of the same name, with two exceptions: `show_settings` and
// `show_logs` are both a variable and an event, so the variables keep those
// names (bindings read them) and the events are show_settings_view() and
// show_logs_view(), matching show_play().
class LauncherModel : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString nickname READ nickname WRITE set_nickname NOTIFY nickname_changed)
  Q_PROPERTY(QString game_dir READ game_dir WRITE set_game_dir NOTIFY game_dir_changed)
  Q_PROPERTY(
      bool restore_files READ restore_files WRITE set_restore_files NOTIFY restore_files_changed)
  Q_PROPERTY(bool cache_in_root READ cache_in_root NOTIFY cache_in_root_changed)
  Q_PROPERTY(QString cache_note READ cache_note NOTIFY cache_note_changed)
  Q_PROPERTY(QString cache_move_note READ cache_move_note NOTIFY cache_move_note_changed)
  Q_PROPERTY(QString font_sel READ font_sel NOTIFY font_sel_changed)
  Q_PROPERTY(QString kb_sel READ kb_sel NOTIFY kb_sel_changed)
  Q_PROPERTY(bool show_settings READ show_settings NOTIFY show_settings_changed)
  Q_PROPERTY(bool show_logs READ show_logs NOTIFY show_logs_changed)
  Q_PROPERTY(bool is_android READ is_android NOTIFY is_android_changed)
  Q_PROPERTY(QString log_text READ log_text NOTIFY log_text_changed)
  Q_PROPERTY(QString log_status READ log_status NOTIFY log_status_changed)
  Q_PROPERTY(bool show_game_dir READ show_game_dir NOTIFY show_game_dir_changed)
  Q_PROPERTY(bool need_install_dir READ need_install_dir NOTIFY need_install_dir_changed)
  Q_PROPERTY(QString region_sel READ region_sel NOTIFY region_sel_changed)
  Q_PROPERTY(QString window_mode_sel READ window_mode_sel NOTIFY window_mode_sel_changed)
  Q_PROPERTY(int selected READ selected NOTIFY selected_changed)
  Q_PROPERTY(bool have_servers READ have_servers NOTIFY have_servers_changed)
  Q_PROPERTY(bool servers_loading READ servers_loading NOTIFY servers_loading_changed)
  Q_PROPERTY(bool no_servers READ no_servers NOTIFY no_servers_changed)
  Q_PROPERTY(bool can_play READ can_play NOTIFY can_play_changed)
  Q_PROPERTY(QString play_label READ play_label NOTIFY play_label_changed)
  Q_PROPERTY(QString host_label READ host_label NOTIFY host_label_changed)
  Q_PROPERTY(bool host_ok READ host_ok NOTIFY host_ok_changed)
  Q_PROPERTY(bool host_bad READ host_bad NOTIFY host_bad_changed)
  Q_PROPERTY(bool overlay_visible READ overlay_visible NOTIFY overlay_visible_changed)
  Q_PROPERTY(bool is_error READ is_error NOTIFY is_error_changed)
  Q_PROPERTY(bool can_cancel READ can_cancel NOTIFY can_cancel_changed)
  Q_PROPERTY(bool update_available READ update_available NOTIFY update_available_changed)
  Q_PROPERTY(bool need_install_perm READ need_install_perm NOTIFY need_install_perm_changed)
  Q_PROPERTY(bool need_battery_opt READ need_battery_opt NOTIFY need_battery_opt_changed)
  Q_PROPERTY(
      bool need_battery_opt_warn READ need_battery_opt_warn NOTIFY need_battery_opt_warn_changed)
  Q_PROPERTY(
      bool show_server_settings READ show_server_settings NOTIFY show_server_settings_changed)
  Q_PROPERTY(QString ss_server_name READ ss_server_name NOTIFY ss_server_name_changed)
  Q_PROPERTY(QString ss_nick READ ss_nick WRITE set_ss_nick NOTIFY ss_nick_changed)
  Q_PROPERTY(QString update_version READ update_version NOTIFY update_version_changed)
  Q_PROPERTY(QString app_version READ app_version NOTIFY app_version_changed)
  Q_PROPERTY(QString status_message READ status_message NOTIFY status_message_changed)
  Q_PROPERTY(QString status_detail READ status_detail NOTIFY status_detail_changed)
  Q_PROPERTY(QString progress_width READ progress_width NOTIFY progress_width_changed)
  Q_PROPERTY(QString splash READ splash NOTIFY splash_changed)
  Q_PROPERTY(QAbstractListModel* servers READ servers CONSTANT)

 public:
  // vm must outlive the model. Installs itself as vm.mark_dirty.
  explicit LauncherModel(LauncherVM& vm, QObject* parent = nullptr);
  ~LauncherModel() override;

  LauncherVM& vm() { return vm_; }
  QAbstractListModel* servers() { return &servers_; }
  // True while an event handler runs (it may wait in a modal dialog).
  bool in_event() const { return event_depth_ > 0; }

  // Publishes one variable (a dirty mark) or all of them.
  void publish(std::string_view variable);
  void publish_all();

  QString nickname() const { return nickname_; }
  QString game_dir() const { return game_dir_; }
  bool restore_files() const { return restore_files_; }
  bool cache_in_root() const { return cache_in_root_; }
  QString cache_note() const { return cache_note_; }
  QString cache_move_note() const { return cache_move_note_; }
  QString font_sel() const { return font_sel_; }
  QString kb_sel() const { return kb_sel_; }
  bool show_settings() const { return show_settings_; }
  bool show_logs() const { return show_logs_; }
  bool is_android() const { return is_android_; }
  QString log_text() const { return log_text_; }
  QString log_status() const { return log_status_; }
  bool show_game_dir() const { return show_game_dir_; }
  bool need_install_dir() const { return need_install_dir_; }
  QString region_sel() const { return region_sel_; }
  QString window_mode_sel() const { return window_mode_sel_; }
  int selected() const { return selected_; }
  bool have_servers() const { return have_servers_; }
  bool servers_loading() const { return servers_loading_; }
  bool no_servers() const { return no_servers_; }
  bool can_play() const { return can_play_; }
  QString play_label() const { return play_label_; }
  QString host_label() const { return host_label_; }
  bool host_ok() const { return host_ok_; }
  bool host_bad() const { return host_bad_; }
  bool overlay_visible() const { return overlay_visible_; }
  bool is_error() const { return is_error_; }
  bool can_cancel() const { return can_cancel_; }
  bool update_available() const { return update_available_; }
  bool need_install_perm() const { return need_install_perm_; }
  bool need_battery_opt() const { return need_battery_opt_; }
  bool need_battery_opt_warn() const { return need_battery_opt_warn_; }
  bool show_server_settings() const { return show_server_settings_; }
  QString ss_server_name() const { return ss_server_name_; }
  QString ss_nick() const { return ss_nick_; }
  QString update_version() const { return update_version_; }
  QString app_version() const { return app_version_; }
  QString status_message() const { return status_message_; }
  QString status_detail() const { return status_detail_; }
  QString progress_width() const { return progress_width_; }
  QString splash() const { return splash_; }

  void set_nickname(const QString& value);
  void set_game_dir(const QString& value);
  void set_restore_files(bool value);
  void set_ss_nick(const QString& value);

  Q_INVOKABLE void show_play();
  Q_INVOKABLE void show_settings_view();
  Q_INVOKABLE void show_logs_view();
  Q_INVOKABLE void update_launcher();
  Q_INVOKABLE void select(int row);
  Q_INVOKABLE void server_settings(int row);
  Q_INVOKABLE void play();
  Q_INVOKABLE void browse_dir();
  Q_INVOKABLE void set_window_mode(const QString& mode);
  Q_INVOKABLE void set_font(const QString& font);
  Q_INVOKABLE void set_keyboard(const QString& keyboard);
  Q_INVOKABLE void pick_android_keyboard();
  Q_INVOKABLE void set_region(const QString& region);
  Q_INVOKABLE void copy_logs();
  Q_INVOKABLE void share_logs();
  Q_INVOKABLE void refresh_logs();
  Q_INVOKABLE void refresh();
  Q_INVOKABLE void save_settings();
  Q_INVOKABLE void cancel();
  Q_INVOKABLE void dismiss_error();
  Q_INVOKABLE void grant_install();
  Q_INVOKABLE void dismiss_install_perm();
  Q_INVOKABLE void grant_battery_opt();
  Q_INVOKABLE void dismiss_battery_opt();
  Q_INVOKABLE void dismiss_battery_opt_warn();
  Q_INVOKABLE void close_server_settings();
  Q_INVOKABLE void save_server_settings();

 signals:
  void nickname_changed();
  void game_dir_changed();
  void restore_files_changed();
  void cache_in_root_changed();
  void cache_note_changed();
  void cache_move_note_changed();
  void font_sel_changed();
  void kb_sel_changed();
  void show_settings_changed();
  void show_logs_changed();
  void is_android_changed();
  void log_text_changed();
  void log_status_changed();
  void show_game_dir_changed();
  void need_install_dir_changed();
  void region_sel_changed();
  void window_mode_sel_changed();
  void selected_changed();
  void have_servers_changed();
  void servers_loading_changed();
  void no_servers_changed();
  void can_play_changed();
  void play_label_changed();
  void host_label_changed();
  void host_ok_changed();
  void host_bad_changed();
  void overlay_visible_changed();
  void is_error_changed();
  void can_cancel_changed();
  void update_available_changed();
  void need_install_perm_changed();
  void need_battery_opt_changed();
  void need_battery_opt_warn_changed();
  void show_server_settings_changed();
  void ss_server_name_changed();
  void ss_nick_changed();
  void update_version_changed();
  void app_version_changed();
  void status_message_changed();
  void status_detail_changed();
  void progress_width_changed();
  void splash_changed();
  // An event or an edit changed the model: the next frame should run soon.
  void frame_wanted();

 private:
  struct Publisher {
    std::string_view name;
    void (*publish)(LauncherModel&);
  };
  static std::span<const Publisher> publishers();
  template <typename T, typename Signal>
  void update(T& published, const T& value, Signal signal);
  // Runs an event handler, then asks for a frame.
  template <typename Handler>
  void handle(Handler handler);

  LauncherVM& vm_;
  ServerListModel servers_;
  int event_depth_ = 0;
  QString nickname_;
  QString game_dir_;
  bool restore_files_ = false;
  bool cache_in_root_ = false;
  QString cache_note_;
  QString cache_move_note_;
  QString font_sel_;
  QString kb_sel_;
  bool show_settings_ = false;
  bool show_logs_ = false;
  bool is_android_ = false;
  QString log_text_;
  QString log_status_;
  bool show_game_dir_ = false;
  bool need_install_dir_ = false;
  QString region_sel_;
  QString window_mode_sel_;
  int selected_ = -1;
  bool have_servers_ = false;
  bool servers_loading_ = false;
  bool no_servers_ = false;
  bool can_play_ = false;
  QString play_label_;
  QString host_label_;
  bool host_ok_ = false;
  bool host_bad_ = false;
  bool overlay_visible_ = false;
  bool is_error_ = false;
  bool can_cancel_ = false;
  bool update_available_ = false;
  bool need_install_perm_ = false;
  bool need_battery_opt_ = false;
  bool need_battery_opt_warn_ = false;
  bool show_server_settings_ = false;
  QString ss_server_name_;
  QString ss_nick_;
  QString update_version_;
  QString app_version_;
  QString status_message_;
  QString status_detail_;
  QString progress_width_;
  QString splash_;
};

}  // namespace zelvo::launcher
