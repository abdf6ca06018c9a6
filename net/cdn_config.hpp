#pragma once

#include <string>
#include <vector>

namespace zelvo::launcher {

// Where the launcher looks for its content: the CDN nodes in preference
// order, the geo probe used in automatic region mode, and an optional
// operator CA certificate (PEM) trusted in addition to the system's.
struct CdnConfig {
  std::vector<std::string> nodes;
  std::string geo_probe;
  std::string ca_file;
};

// The built-in nodes (RU, then EU) and geo probe.
CdnConfig default_cdn_config();

// Applies the members of a cdn.json text over base. False with an English
// reason when the text is not a JSON object or a member has the wrong type;
// base is then returned unchanged in out.
bool parse_cdn_config(const std::string& text, const CdnConfig& base, CdnConfig& out,
                      std::string& error);

// The file named by ZELVO_CDN_CONFIG, else exe_dir/cdn.json, else the
// defaults. A bad file is logged and ignored.
CdnConfig load_cdn_config(const std::string& exe_dir);

}  // namespace zelvo::launcher
