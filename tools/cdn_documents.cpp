#include "tools/cdn_documents.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <nlohmann/json.hpp>

#include "app/json_file.hpp"
#include "files/file_digest.hpp"
#include "tools/cdn_glob.hpp"

namespace zelvo::launcher {

namespace fs = std::filesystem;

namespace {

// Member order as written (nlohmann::json would sort the keys): "path" first
// reads best, and a merged update.json keeps the operator's order.
using OrderedJson = nlohmann::ordered_json;

std::string json_text(const OrderedJson& value) {
  return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

bool is_valid_utf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t extra = 0;
    unsigned int code = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= s.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      code = (code << 6) | (d & 0x3F);
    }
    static constexpr unsigned int kMin[] = {0, 0x80, 0x800, 0x10000};
    if (code < kMin[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

bool compile_globs(const std::vector<std::string>& texts, std::vector<GlobPattern>& out,
                   std::string& error) {
  for (const auto& text : texts) {
    GlobPattern pattern;
    std::string reason;
    if (!GlobPattern::compile(text, pattern, reason)) {
      error = "invalid glob: " + reason;
      return false;
    }
    out.push_back(std::move(pattern));
  }
  return true;
}

bool any_matches(const std::vector<GlobPattern>& patterns, const std::string& path) {
  return std::any_of(patterns.begin(), patterns.end(),
                     [&](const GlobPattern& p) { return p.matches(path); });
}

struct FoundFile {
  std::string relative;
  std::string full;
  std::int64_t size = 0;
};

bool list_files(const std::string& dir, std::vector<FoundFile>& out, std::string& error) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    error = "not a folder: " + dir;
    return false;
  }
  const fs::path root(dir);
  fs::recursive_directory_iterator it(root, fs::directory_options::follow_directory_symlink, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    std::error_code type_ec;
    if (entry.is_directory(type_ec)) continue;
    const std::string relative = entry.path().lexically_relative(root).generic_string();
    if (!entry.is_regular_file(type_ec)) {
      error = "cannot read " + entry.path().string() + ": not a regular file";
      return false;
    }
    if (is_launcher_state_file(relative)) continue;
    // The launcher treats '\' as a folder separator and appends the path to
    // the download address unchanged, where '%', '#' and '?' would mean
    // something else; the document is UTF-8.
    if (!is_valid_utf8(relative) || relative.find_first_of("\\%#?") != std::string::npos) {
      error = "file name cannot be listed (not UTF-8 or contains '\\', '%', '#' or '?'): " +
              entry.path().string();
      return false;
    }
    const auto size = entry.file_size(type_ec);
    if (type_ec) {
      error = "cannot read " + entry.path().string() + ": " + type_ec.message();
      return false;
    }
    out.push_back({relative, entry.path().string(), static_cast<std::int64_t>(size)});
  }
  if (ec) {
    error = "cannot list " + dir + ": " + ec.message();
    return false;
  }
  std::sort(out.begin(), out.end(),
            [](const FoundFile& a, const FoundFile& b) { return a.relative < b.relative; });
  return true;
}

// Digits, separated by single dots: "0.48", "1.2.3".
bool is_dotted_version(const std::string& version) {
  bool digit_before = false;
  for (char c : version) {
    if (c >= '0' && c <= '9') {
      digit_before = true;
    } else if (c == '.' && digit_before) {
      digit_before = false;
    } else {
      return false;
    }
  }
  return digit_before;
}

bool is_http_url(const std::string& url) {
  return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

}  // namespace

bool is_launcher_state_file(const std::string& relative_path) {
  return relative_path == "z/verify_cache.bin" || relative_path == "z/launcher_connect.json";
}

bool build_manifest(const ManifestOptions& options, const HashProgressFn& progress,
                    std::string& text, std::string& error) {
  std::vector<GlobPattern> protect;
  std::vector<GlobPattern> optional;
  if (!compile_globs(options.protect, protect, error) ||
      !compile_globs(options.optional, optional, error))
    return false;
  if (!options.base_url.empty() && !is_http_url(options.base_url)) {
    error = "base URL must start with http:// or https://: " + options.base_url;
    return false;
  }
  if (!is_valid_utf8(options.base_url)) {
    error = "base URL is not valid UTF-8";
    return false;
  }

  std::vector<FoundFile> found;
  if (!list_files(options.game_dir, found, error)) return false;

  HashProgress state;
  state.files_total = static_cast<std::int64_t>(found.size());
  for (const auto& f : found) state.bytes_total += f.size;
  if (progress) progress(state);

  OrderedJson files = OrderedJson::array();
  for (const auto& f : found) {
    const std::string md5 = md5_file(f.full);
    if (md5.empty()) {
      error = "cannot read " + f.full;
      return false;
    }
    OrderedJson entry;
    entry["path"] = f.relative;
    entry["md5"] = md5;
    entry["size"] = f.size;
    if (any_matches(optional, f.relative))
      entry["optional"] = true;
    else if (any_matches(protect, f.relative))
      entry["protected"] = true;
    files.push_back(std::move(entry));
    ++state.files_done;
    state.bytes_done += f.size;
    if (progress) progress(state);
  }

  OrderedJson root = OrderedJson::object();
  if (!options.base_url.empty()) root["base_url"] = options.base_url;
  root["files"] = std::move(files);
  text = json_text(root);
  return true;
}

bool build_update(const UpdateOptions& options, std::string& text, std::string& error) {
  if (options.tag.empty() || !is_valid_utf8(options.tag)) {
    error = "the tag must be non-empty UTF-8 text";
    return false;
  }
  if (!is_dotted_version(options.version)) {
    error = "invalid version '" + options.version + "': expected dotted numbers such as 0.48";
    return false;
  }
  if (options.url.empty() || !is_valid_utf8(options.url)) {
    error = "the url must be non-empty UTF-8 text";
    return false;
  }

  OrderedJson root = OrderedJson::object();
  if (!options.into.empty()) {
    std::string existing;
    if (!read_file(options.into, existing)) {
      error = "cannot read " + options.into;
      return false;
    }
    root = OrderedJson::parse(existing, nullptr, false, false);
    if (root.is_discarded() || !root.is_object()) {
      error = options.into + " is not a JSON object";
      return false;
    }
  }

  std::error_code ec;
  if (!fs::is_regular_file(options.file, ec)) {
    error = "not a readable file: " + options.file;
    return false;
  }
  const std::string md5 = md5_file(options.file);
  if (md5.empty()) {
    error = "cannot read " + options.file;
    return false;
  }

  OrderedJson entry = OrderedJson::object();
  entry["version"] = options.version;
  entry["url"] = options.url;
  entry["md5"] = md5;
  root[options.tag] = std::move(entry);
  text = json_text(root);
  return true;
}

}  // namespace zelvo::launcher
