#include "core/launcher_core.hpp"

namespace zelvo::launcher {

// Placeholder until host selection lands.
bool LauncherCore::select_host() { return false; }

}  // namespace zelvo::launcher
