#pragma once

#include <string>
#include <vector>

#include "net/server_entry.hpp"

namespace zelvo::launcher {

// Lenient parser of servers.json / online.php; never fails.
std::vector<ServerEntry> parse_server_list(const std::string& text);

}  // namespace zelvo::launcher
