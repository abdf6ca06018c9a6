#include "tests/support/fake_platform.hpp"

#include <filesystem>
#include <utility>

namespace zelvo::launcher::test {

using Lock = std::lock_guard<std::mutex>;

FakePlatform::FakePlatform(std::string game_dir) : game_dir_(std::move(game_dir)) {}

void FakePlatform::set_update_tag(const std::string& tag) {
  Lock lock(mutex_);
  update_tag_ = tag;
}

void FakePlatform::set_update_file_path(const std::string& path) {
  Lock lock(mutex_);
  update_file_path_ = path;
}

void FakePlatform::set_ensure_parent_dir_fails(bool fails) {
  Lock lock(mutex_);
  ensure_fails_ = fails;
}

void FakePlatform::set_free_disk_space(std::int64_t bytes) {
  Lock lock(mutex_);
  free_space_ = bytes;
}

void FakePlatform::set_pending_move(const DataMovePlan& plan) {
  Lock lock(mutex_);
  move_pending_ = true;
  move_plan_ = plan;
}

void FakePlatform::set_move_script(std::vector<MoveStep> steps, int result,
                                   const std::string& error) {
  Lock lock(mutex_);
  move_steps_ = std::move(steps);
  move_result_ = result;
  move_error_ = error;
}

void FakePlatform::set_launch_result(bool ok, const std::string& error) {
  Lock lock(mutex_);
  launch_ok_ = ok;
  launch_error_ = error;
}

void FakePlatform::set_apply_update_result(bool ok) {
  Lock lock(mutex_);
  apply_ok_ = ok;
}

void FakePlatform::set_pick_folder_result(const std::string& folder) {
  Lock lock(mutex_);
  picked_folder_ = folder;
}

void FakePlatform::set_clipboard_result(bool ok) {
  Lock lock(mutex_);
  clipboard_ok_ = ok;
}

void FakePlatform::set_open_log_result(bool ok) {
  Lock lock(mutex_);
  open_log_ok_ = ok;
}

std::vector<std::string> FakePlatform::ensured_dirs() const {
  Lock lock(mutex_);
  return ensured_;
}

std::vector<std::string> FakePlatform::removed_files() const {
  Lock lock(mutex_);
  return removed_;
}

std::vector<std::string> FakePlatform::downloaded_files() const {
  Lock lock(mutex_);
  return downloaded_;
}

std::vector<std::string> FakePlatform::disk_space_queries() const {
  Lock lock(mutex_);
  return space_queries_;
}

std::vector<FakePlatform::Launch> FakePlatform::launches() const {
  Lock lock(mutex_);
  return launches_;
}

std::vector<std::string> FakePlatform::applied_updates() const {
  Lock lock(mutex_);
  return applied_;
}

std::vector<std::string> FakePlatform::picked_initial_folders() const {
  Lock lock(mutex_);
  return picked_initial_;
}

std::vector<std::string> FakePlatform::clipboard_texts() const {
  Lock lock(mutex_);
  return clipboard_;
}

std::vector<std::string> FakePlatform::opened_logs() const {
  Lock lock(mutex_);
  return opened_logs_;
}

int FakePlatform::data_move_runs() const {
  Lock lock(mutex_);
  return move_runs_;
}

std::string FakePlatform::game_dir() const {
  Lock lock(mutex_);
  return game_dir_;
}

bool FakePlatform::pending_data_move(DataMovePlan& plan) {
  Lock lock(mutex_);
  if (!move_pending_) return false;
  plan = move_plan_;
  return true;
}

int FakePlatform::run_data_move(const MoveProgressFn& progress, std::string& error) {
  std::vector<MoveStep> steps;
  int result = 0;
  std::string script_error;
  {
    Lock lock(mutex_);
    ++move_runs_;
    steps = move_steps_;
    result = move_result_;
    script_error = move_error_;
  }
  // The progress callable reports into the core; no lock of ours across it.
  for (const MoveStep& step : steps) {
    if (progress && !progress(step.done, step.total, step.file)) return 1;
  }
  if (result != 0 && result != 1) error = script_error;
  return result;
}

bool FakePlatform::ensure_parent_dir(const std::string& file_path) {
  {
    Lock lock(mutex_);
    ensured_.push_back(file_path);
    if (ensure_fails_) return false;
  }
  const std::size_t slash = file_path.find_last_of("/\\");
  if (slash != std::string::npos && slash > 0) {
    std::error_code ec;
    std::filesystem::create_directories(file_path.substr(0, slash), ec);
  }
  return true;
}

std::int64_t FakePlatform::free_disk_space(const std::string& path) {
  Lock lock(mutex_);
  space_queries_.push_back(path);
  return free_space_;
}

std::string FakePlatform::pick_folder(const std::string& initial_folder) {
  Lock lock(mutex_);
  picked_initial_.push_back(initial_folder);
  return picked_folder_;
}

void FakePlatform::after_download(const std::string& path) {
  Lock lock(mutex_);
  downloaded_.push_back(path);
}

void FakePlatform::remove_file(const std::string& path) {
  {
    Lock lock(mutex_);
    removed_.push_back(path);
  }
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

bool FakePlatform::launch_game(const std::string& nickname, const ServerEntry& server,
                               std::string* error) {
  Lock lock(mutex_);
  launches_.push_back(Launch{nickname, server});
  if (!launch_ok_ && error != nullptr) *error = launch_error_;
  return launch_ok_;
}

std::string FakePlatform::platform_name() const { return "pc"; }

std::string FakePlatform::update_file_path() const {
  Lock lock(mutex_);
  return update_file_path_;
}

bool FakePlatform::apply_update(const std::string& new_executable) {
  Lock lock(mutex_);
  applied_.push_back(new_executable);
  return apply_ok_;
}

bool FakePlatform::android_permission_1_granted() { return true; }
void FakePlatform::request_android_permission_1() {}
bool FakePlatform::android_permission_2_granted() { return true; }
void FakePlatform::request_android_permission_2() {}

bool FakePlatform::copy_to_clipboard(const std::string& text) {
  Lock lock(mutex_);
  clipboard_.push_back(text);
  return clipboard_ok_;
}

bool FakePlatform::open_log_location(const std::string& log_text) {
  Lock lock(mutex_);
  opened_logs_.push_back(log_text);
  return open_log_ok_;
}

void FakePlatform::set_game_dir(const std::string& dir) {
  Lock lock(mutex_);
  game_dir_ = dir;
}

std::string FakePlatform::update_tag() const {
  Lock lock(mutex_);
  return update_tag_;
}

}  // namespace zelvo::launcher::test
