// Usage: single_instance_probe <runtime folder> [--updated]
// Prints "other" and exits 0 when another probe holds the lock; otherwise
// prints "owner", then "raised" for each come-to-front request, and exits 0
// when its stdin closes.
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/single_instance.hpp"

namespace {

void say(const char* line) {
  const std::string text = std::string(line) + "\n";
  // One write per line: the request thread and the main thread both print.
  [[maybe_unused]] ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
}

}  // namespace

int main(int argc, char** argv) {
  using zelvo::launcher::SingleInstance;
  if (argc < 2) return 2;
  const bool updated = argc > 2 && std::strcmp(argv[2], "--updated") == 0;
  SingleInstance instance(argv[1]);
  if (instance.acquire(updated ? zelvo::launcher::kHandOverWaitMs : 0) ==
      SingleInstance::Outcome::OtherInstance) {
    say("other");
    return 0;
  }
  if (!instance.listen([] { say("raised"); })) say("no channel");
  say("owner");
  char buffer[64];
  while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
  }
  return 0;
}
