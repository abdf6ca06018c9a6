#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/server_entry.hpp"

namespace zelvo::launcher {

// A pending move of the game data between storage locations.
struct DataMovePlan {
  std::int64_t file_count = 0;
  std::int64_t byte_count = 0;
  std::string from_dir;
  std::string to_dir;
};

// Progress of a data move: bytes moved, total bytes, current file name.
// Returning false asks the move to stop (result 1).
using MoveProgressFn =
    std::function<bool(std::int64_t done, std::int64_t total, const std::string& file)>;

// Operating-system services used by the core and the window. Paths are UTF-8.
class IPlatform {
 public:
  virtual ~IPlatform() = default;
  virtual std::string game_dir() const = 0;
  virtual bool pending_data_move(DataMovePlan& plan) = 0;
  // 0 finished, 1 cancelled, anything else failed (error is set).
  virtual int run_data_move(const MoveProgressFn& progress, std::string& error) = 0;
  virtual bool ensure_parent_dir(const std::string& file_path) = 0;
  // Bytes free for the user on the volume of path, -1 when unknown.
  virtual std::int64_t free_disk_space(const std::string& path) = 0;
  // Chosen folder with '/' separators, empty on cancel.
  virtual std::string pick_folder(const std::string& initial_folder) = 0;
  virtual void after_download(const std::string& path) = 0;
  virtual void remove_file(const std::string& path) = 0;
  virtual bool launch_game(const std::string& nickname, const ServerEntry& server,
                           std::string* error) = 0;
  // Tag of the game files on the CDN ("pc").
  virtual std::string platform_name() const = 0;
  virtual std::string update_file_path() const = 0;
  virtual bool apply_update(const std::string& new_executable) = 0;
  virtual bool android_permission_1_granted() = 0;
  virtual void request_android_permission_1() = 0;
  virtual bool android_permission_2_granted() = 0;
  virtual void request_android_permission_2() = 0;
  virtual bool copy_to_clipboard(const std::string& text) = 0;
  virtual bool open_log_location(const std::string& log_text) = 0;

  // The UI replaces the game folder while the worker may be reading it.
  virtual void set_game_dir(const std::string& dir) = 0;
  // Tag of this build's launcher executable in update.json. It differs from
  // platform_name(): the game files are the PC game's on every desktop system,
  // the launcher executable is not.
  virtual std::string update_tag() const = 0;
};

}  // namespace zelvo::launcher
