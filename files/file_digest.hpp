#pragma once

#include <cstdint>
#include <string>

namespace zelvo::launcher {

// MD5 of the file content as 32 lowercase hex characters; "" when it cannot be opened.
std::string md5_file(const std::string& path);
// MD5 of bytes as 32 lowercase hex characters.
std::string md5_hex(const std::string& bytes);
// Size and last-write time (seconds since 1970) of a file; false for a
// missing path or a folder.
bool file_stat(const std::string& path, std::int64_t& size, std::int64_t& mtime);
// The path exists and is not a folder.
bool file_exists(const std::string& path);

}  // namespace zelvo::launcher
