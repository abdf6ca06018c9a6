#pragma once

#include <string>

#include "platform/desktop_services.hpp"

namespace zelvo::launcher {

// The window's desktop services on Qt: the folder picker, the clipboard and
// the file manager (freedesktop FileManager1, else the folder itself).
// Needs a QApplication; UI thread only.
class QtDesktopServices : public IDesktopServices {
 public:
  std::string pick_folder(const std::string& title, const std::string& initial_folder) override;
  bool copy_text(const std::string& text) override;
  bool show_file(const std::string& path) override;
};

}  // namespace zelvo::launcher
