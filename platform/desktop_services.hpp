#pragma once

#include <string>

namespace zelvo::launcher {

// Services that need the window toolkit. The window installs its
// implementation into LinuxPlatform; without one these services fail softly.
class IDesktopServices {
 public:
  virtual ~IDesktopServices() = default;
  // Modal folder picker titled title, opened at initial_folder (an existing
  // folder); the chosen folder, or empty on cancel.
  virtual std::string pick_folder(const std::string& title, const std::string& initial_folder) = 0;
  virtual bool copy_text(const std::string& text) = 0;
  // Shows the file in the file manager (selected where the manager allows).
  virtual bool show_file(const std::string& path) = 0;
};

}  // namespace zelvo::launcher
