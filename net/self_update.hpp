#pragma once

#include <string>

namespace zelvo::launcher {

// The update.json entry of one platform tag.
struct UpdateInfo {
  std::string version;
  std::string url;
  std::string md5;
};

// True when text holds a usable entry (non-empty version and url) for tag.
bool parse_update_info(const std::string& text, const std::string& tag, UpdateInfo& out);

// Dotted versions compared component by component by their leading digits.
bool is_newer_version(const std::string& remote, const std::string& local);

}  // namespace zelvo::launcher
