#pragma once

namespace zelvo::launcher {

// The launcher's own version, compared with update.json and shown in the sidebar.
inline constexpr const char* kLauncherVersion = "0.47";

}  // namespace zelvo::launcher
