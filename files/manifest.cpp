#include "files/manifest.hpp"

#include <limits>

#include <nlohmann/json.hpp>

namespace zelvo::launcher {

namespace {

using nlohmann::json;

bool is_true(const json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_boolean() && it->get<bool>();
}

// A JSON integer that fits the signed 64-bit size; anything else leaves -1.
void take_size(const json& value, std::int64_t& size) {
  if (value.is_number_unsigned()) {
    const auto u = value.get<std::uint64_t>();
    if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      size = static_cast<std::int64_t>(u);
    }
  } else if (value.is_number_integer()) {
    size = value.get<std::int64_t>();
  }
}

ManifestEntry entry_from(const json& element) {
  ManifestEntry entry;
  if (element.is_object()) {
    if (const auto it = element.find("path"); it != element.end() && it->is_string()) {
      entry.path = it->get<std::string>();
    }
    if (const auto it = element.find("md5"); it != element.end() && it->is_string()) {
      entry.md5 = it->get<std::string>();
    }
    if (const auto it = element.find("size"); it != element.end()) take_size(*it, entry.size);
    if (is_true(element, "protected") || is_true(element, "locked") || is_true(element, "verify")) {
      entry.is_protected = true;
    }
    // A clearing key wins over a setting key in the same entry.
    if (is_true(element, "optional") || is_true(element, "editable") ||
        is_true(element, "skip_verify")) {
      entry.is_protected = false;
    }
  } else if (element.is_array()) {
    if (!element.empty() && element[0].is_string()) entry.path = element[0].get<std::string>();
    if (element.size() >= 2 && element[1].is_string()) entry.md5 = element[1].get<std::string>();
    if (element.size() >= 3) take_size(element[2], entry.size);
  }
  return entry;
}

}  // namespace

FileManifest FileManifest::parse(const std::string& text) {
  FileManifest manifest;
  const json root = json::parse(text, nullptr, false, false);
  if (root.is_discarded()) return manifest;

  const json* list = nullptr;
  if (root.is_object()) {
    if (const auto it = root.find("base_url"); it != root.end() && it->is_string()) {
      manifest.base_url = it->get<std::string>();
    }
    if (const auto it = root.find("files"); it != root.end() && it->is_array()) list = &*it;
  } else if (root.is_array()) {
    list = &root;
  }
  if (!list) return manifest;

  for (const json& element : *list) {
    ManifestEntry entry = entry_from(element);
    if (!entry.path.empty()) manifest.files.push_back(std::move(entry));
  }
  return manifest;
}

}  // namespace zelvo::launcher
