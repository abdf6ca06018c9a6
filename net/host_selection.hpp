#pragma once

#include <string>
#include <vector>

namespace zelvo::launcher {

// "RU", "EU" or "" from markers in the URL ("cdn-ru", "-ru-", "cdn-eu", "-eu").
std::string region_of_url(const std::string& url);

// Nodes of the preferred region (compared ignoring ASCII case) first, then
// the others, each group in list order.
std::vector<std::string> order_nodes(const std::string& preferred_region,
                                     const std::vector<std::string>& nodes);

}  // namespace zelvo::launcher
