#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace zelvo::launcher {

// Starts argv[0] with the given arguments in working_dir, in a new session so
// it outlives the launcher, with the launcher's current environment and
// default signal handling. With search_path, argv[0] without a '/' is looked
// up in PATH. The child is reaped in the background. Returns 0 and sets pid,
// or the errno of the failed start (a missing program is ENOENT).
int spawn_detached(const std::vector<std::string>& argv, const std::string& working_dir,
                   bool search_path, pid_t& pid);

}  // namespace zelvo::launcher
