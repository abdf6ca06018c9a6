#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace zelvo::launcher {

// The on-disk form of every JSON file the launcher writes: two-space indent,
// keys in byte order, raw UTF-8, CR LF line breaks, no final line break.
std::string dump_json_file_text(const nlohmann::json& value);

// Replaces path with data through a temporary file in the same folder that is
// flushed to disk and renamed over the target, so readers only ever see the
// old or the new whole file. False (old file untouched) on any failure.
bool write_file_atomically(const std::string& path, const std::string& data);

// Reads a whole file; false when it cannot be opened or read.
bool read_file(const std::string& path, std::string& data);

}  // namespace zelvo::launcher
