#pragma once

#include <string>
#include <vector>

namespace zelvo::launcher {

// Node folders of the demo tree, one per region, each with the same content.
const std::vector<std::string>& demo_tree_nodes();

// Writes a small, complete CDN tree under root (created when missing; demo
// files already there are replaced): for every node "launcher/ping.txt",
// "launcher/servers.json", "launcher/update.json", a launcher build under
// "launcher/builds/" and the game folder of tag "pc" with its manifest.
// The content is generated and the same on every run. False with a one-line
// English reason.
bool write_demo_tree(const std::string& root, std::string& error);

}  // namespace zelvo::launcher
