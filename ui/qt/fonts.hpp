#pragma once

#include <string>
#include <vector>

namespace zelvo::launcher {

// Font faces the window uses, found through fontconfig. The preferred
// families come first; the fallbacks cover Cyrillic on any desktop.
struct FontChoice {
  std::string regular_file;
  std::string regular_family;
  std::vector<std::string> bold_files;
  std::string symbol_file;  // a face with "⚙" and "✔"; may be empty
};

// Looks the faces up without loading them.
FontChoice find_fonts();

// Loads the faces into the application and makes the regular family (with
// the symbol face behind it) the application font. False when no regular
// face could be loaded. Needs a QGuiApplication.
bool load_fonts();

}  // namespace zelvo::launcher
