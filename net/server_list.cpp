#include "core/launcher_core.hpp"

namespace zelvo::launcher {

// Placeholder until the server list lands.
void LauncherCore::fetch_servers() {}

}  // namespace zelvo::launcher
