#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "tools/cdn_cli.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);

  // serve stops cleanly on Ctrl-C or SIGTERM: the signals are blocked before
  // the server threads start (they inherit the mask) and taken here.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  if (!args.empty() && args[0] == "serve") pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  return zelvo::launcher::run_cdn_cli(args, std::cout, std::cerr, [&stop_signals] {
    int received = 0;
    sigwait(&stop_signals, &received);
    std::cerr << "stopping\n";
  });
}
