#pragma once

namespace zelvo::launcher {

// The whole run of the desktop launcher: single instance, log, settings,
// the long-lived objects, the window and its main loop, and the tear-down.
// Returns the process exit code: 0 after a normal end or when another
// launcher was brought to the front, 1 when the window cannot be set up.
int run_launcher(int argc, char** argv);

}  // namespace zelvo::launcher
