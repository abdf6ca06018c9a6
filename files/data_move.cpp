#include "core/launcher_core.hpp"

namespace zelvo::launcher {

// Placeholder until the folder move lands.
bool LauncherCore::run_pending_move() { return true; }

}  // namespace zelvo::launcher
