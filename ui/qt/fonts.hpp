#pragma once

namespace zelvo::launcher {

// Finds the window's font faces through fontconfig, loads them into the
// application and makes the regular family (with the symbol face behind it)
// the application font. False when no regular face could be loaded. Needs a
// QGuiApplication.
bool load_fonts();

}  // namespace zelvo::launcher
