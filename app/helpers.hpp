#pragma once

#include <cstdint>
#include <string>

namespace zelvo::launcher {

// Joins a CDN base URL and a relative part with exactly one '/' between them
// when both sides would otherwise have none or two.
std::string join_url(const std::string& base, const std::string& rel);
// Joins a folder and a relative path; backslashes of rel become '/'.
std::string join_path(const std::string& base, const std::string& rel);
// Appends "?t=<ms since epoch>" (or "&t=" when the URL has a query) to defeat caches.
std::string add_time_query(const std::string& url);
// "%.1f ГБ" from 1 GiB on, else "%.0f МБ"; negative counts are 0.
std::string size_text(std::int64_t bytes);

// Full path of the running executable, and its folder without a trailing '/'.
std::string exe_path();
std::string exe_dir();
// Deletes exe_path() + ".old" left by a self-update; errors are ignored.
void remove_old_executable();
// A path starting with a drive letter and ':' names a drive that does not
// exist on this system; every other path is fine.
bool drive_present(const std::string& path);
// Non-empty and drive_present.
bool is_usable_game_dir(const std::string& path);
// Creates every folder of path; only '/' separates folders (a backslash is
// part of a Linux file name, as for every other file operation). Errors are ignored.
void create_directories(const std::string& path);

// English text of a C library error number, as strerror gives it in the C locale.
std::string errno_text(int error_number);

}  // namespace zelvo::launcher
