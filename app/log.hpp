#pragma once

#include <string>

namespace zelvo::launcher {

// Opens (truncating unless append) the log file. On failure logging goes on
// into the recent-lines buffer only.
void log_init(const std::string& path, bool append);

// printf-style; the text reaches the file verbatim and the recent-lines buffer.
void log_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The last 600 lines, each "[HH:MM:SS] message\n", oldest first.
std::string log_recent_text();

}  // namespace zelvo::launcher
