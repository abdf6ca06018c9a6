#pragma once

#include <cstdint>
#include <string>

namespace zelvo::launcher {

enum class CorePhase : std::int32_t {
  Idle = 0,
  Connecting = 1,
  LoadingServers = 2,
  MovingFiles = 3,
  Checking = 4,
  Downloading = 5,
  Finishing = 6,
  Closing = 7,
  Error = 8,
};

// Snapshot of the core's state that the UI copies every frame.
struct CoreStatus {
  CorePhase phase = CorePhase::Idle;
  std::string message;
  float progress = 0.0f;
  std::string detail;
  std::string host;
  bool busy = false;
  bool servers_changed = false;
  bool update_available = false;
  std::string update_version;
};

}  // namespace zelvo::launcher
