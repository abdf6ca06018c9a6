#pragma once

#include <cstdint>
#include <string>

namespace zelvo::launcher {

// One game server of the server list.
struct ServerEntry {
  std::string id;
  std::string name;
  std::string address;  // never empty in a stored entry
  std::int32_t port = 7777;
  std::string mode;
  std::string map;
  std::int32_t players = 0;
  std::int32_t maxplayers = 0;
  bool enabled = true;
  bool online = true;  // always false when !enabled
};

}  // namespace zelvo::launcher
