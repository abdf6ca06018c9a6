#include "core/launcher_core.hpp"

namespace zelvo::launcher {

// Placeholders until the self-update lands.
void LauncherCore::check_update() {}
void LauncherCore::run_self_update() {}

}  // namespace zelvo::launcher
