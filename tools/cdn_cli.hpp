#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace zelvo::launcher {

// Runs one zelvo-cdn command line (arguments after the program name).
// A command's result reaches out only when it succeeded; a failure is one
// line on err. 0 on success, 1 on failure, 2 on a usage error.
// serve_wait is called once serve is listening and returns when it should stop.
int run_cdn_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                const std::function<void()>& serve_wait);

}  // namespace zelvo::launcher
