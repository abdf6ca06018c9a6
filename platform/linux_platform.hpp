#pragma once

#include <mutex>
#include <string>

#include "platform/platform.hpp"

namespace zelvo::launcher {

class IDesktopServices;

// IPlatform on POSIX. The game, a Windows program, is started through a
// runner (wine, or the command in ZELVO_GAME_RUNNER).
class LinuxPlatform : public IPlatform {
 public:
  // executable: this launcher's executable path (exe_path() in production;
  // tests pass a copy in a temporary folder).
  LinuxPlatform(std::string game_dir, std::string executable);

  // The window's services for the picker, the clipboard and showing the log;
  // null (the default) makes them fail softly. Not owned.
  void set_desktop_services(IDesktopServices* services);

  std::string game_dir() const override;
  void set_game_dir(const std::string& dir) override;
  bool pending_data_move(DataMovePlan& plan) override;
  int run_data_move(const MoveProgressFn& progress, std::string& error) override;
  bool ensure_parent_dir(const std::string& file_path) override;
  std::int64_t free_disk_space(const std::string& path) override;
  std::string pick_folder(const std::string& initial_folder) override;
  void after_download(const std::string& path) override;
  void remove_file(const std::string& path) override;
  bool launch_game(const std::string& nickname, const ServerEntry& server,
                   std::string* error) override;
  std::string platform_name() const override;
  std::string update_tag() const override;
  std::string update_file_path() const override;
  bool apply_update(const std::string& new_executable) override;
  bool android_permission_1_granted() override;
  void request_android_permission_1() override;
  bool android_permission_2_granted() override;
  void request_android_permission_2() override;
  bool copy_to_clipboard(const std::string& text) override;
  bool open_log_location(const std::string& log_text) override;

 private:
  mutable std::mutex game_dir_mutex_;
  std::string game_dir_;
  const std::string executable_;
  IDesktopServices* desktop_ = nullptr;
};

}  // namespace zelvo::launcher
