#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.hpp"

namespace zelvo::launcher::test {

// Scripted IPlatform. File operations are real (ensure_parent_dir creates
// folders, remove_file deletes); everything else is recorded and answered
// from configurable results. Thread-safe: configured and inspected on the
// test thread while the core's worker calls it.
class FakePlatform : public IPlatform {
 public:
  struct MoveStep {
    std::int64_t done = 0;
    std::int64_t total = 0;
    std::string file;
  };
  struct Launch {
    std::string nickname;
    ServerEntry server;
  };

  explicit FakePlatform(std::string game_dir = "");

  // --- configuration -----------------------------------------------------
  void set_update_tag(const std::string& tag);
  void set_update_file_path(const std::string& path);
  // Makes ensure_parent_dir return false without creating anything.
  void set_ensure_parent_dir_fails(bool fails);
  void set_free_disk_space(std::int64_t bytes);
  // A pending move: pending_data_move answers true with plan.
  void set_pending_move(const DataMovePlan& plan);
  // run_data_move calls progress once per step (stopping with 1 when it
  // returns false), then returns result with error.
  void set_move_script(std::vector<MoveStep> steps, int result, const std::string& error = "");
  void set_launch_result(bool ok, const std::string& error = "");
  void set_apply_update_result(bool ok);
  void set_pick_folder_result(const std::string& folder);
  void set_clipboard_result(bool ok);
  void set_open_log_result(bool ok);

  // --- records -----------------------------------------------------------
  std::vector<std::string> ensured_dirs() const;  // file paths given
  std::vector<std::string> removed_files() const;
  std::vector<std::string> downloaded_files() const;  // after_download
  std::vector<std::string> disk_space_queries() const;
  std::vector<Launch> launches() const;
  std::vector<std::string> applied_updates() const;
  std::vector<std::string> picked_initial_folders() const;
  std::vector<std::string> clipboard_texts() const;
  std::vector<std::string> opened_logs() const;
  int data_move_runs() const;

  // --- IPlatform ---------------------------------------------------------
  std::string game_dir() const override;
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
  std::string update_file_path() const override;
  bool apply_update(const std::string& new_executable) override;
  bool android_permission_1_granted() override;
  void request_android_permission_1() override;
  bool android_permission_2_granted() override;
  void request_android_permission_2() override;
  bool copy_to_clipboard(const std::string& text) override;
  bool open_log_location(const std::string& log_text) override;
  void set_game_dir(const std::string& dir) override;
  std::string update_tag() const override;

 private:
  mutable std::mutex mutex_;
  std::string game_dir_;
  std::string update_tag_ = "linux";
  std::string update_file_path_;
  bool ensure_fails_ = false;
  std::int64_t free_space_ = std::int64_t{1} << 40;
  bool move_pending_ = false;
  DataMovePlan move_plan_;
  std::vector<MoveStep> move_steps_;
  int move_result_ = 0;
  std::string move_error_;
  int move_runs_ = 0;
  bool launch_ok_ = true;
  std::string launch_error_;
  bool apply_ok_ = true;
  std::string picked_folder_;
  bool clipboard_ok_ = true;
  bool open_log_ok_ = true;

  std::vector<std::string> ensured_;
  std::vector<std::string> removed_;
  std::vector<std::string> downloaded_;
  std::vector<std::string> space_queries_;
  std::vector<Launch> launches_;
  std::vector<std::string> applied_;
  std::vector<std::string> picked_initial_;
  std::vector<std::string> clipboard_;
  std::vector<std::string> opened_logs_;
};

}  // namespace zelvo::launcher::test
