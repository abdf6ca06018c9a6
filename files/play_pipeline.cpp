#include "core/launcher_core.hpp"

namespace zelvo::launcher {

// Placeholder until the Play pipeline lands.
void LauncherCore::run_play(const std::string&, const ServerEntry&, bool) {}

}  // namespace zelvo::launcher
