#include "app/log.hpp"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>

#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

namespace zelvo::launcher {
namespace {

constexpr std::size_t kMessageBuffer = 2048;
constexpr std::size_t kRecentLines = 600;

struct LogState {
  std::mutex mutex;
  std::shared_ptr<spdlog::logger> file;
  std::deque<std::string> recent;
};

// Never destroyed: a thread or a static destructor may still log during exit.
// Every line is flushed already, so nothing is lost.
LogState& state() {
  static LogState* instance = new LogState;
  return *instance;
}

}  // namespace

void log_init(const std::string& path, bool append) {
  LogState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.file.reset();
  try {
    // Single-threaded sink: the log mutex already serialises every call.
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_st>(path, !append);
    auto logger = std::make_shared<spdlog::logger>("zelvo-launcher", std::move(sink));
    logger->set_pattern("[%H:%M:%S.%e] [%l] %v", spdlog::pattern_time_type::local);
    logger->set_level(spdlog::level::trace);
    logger->flush_on(spdlog::level::trace);
    s.file = std::move(logger);
  } catch (const std::exception&) {
    // The file cannot be opened: the run goes on with the in-memory lines only.
    s.file.reset();
  }
}

void log_printf(const char* format, ...) {
  char message[kMessageBuffer];
  va_list args;
  va_start(args, format);
  if (std::vsnprintf(message, sizeof message, format, args) < 0) message[0] = '\0';
  va_end(args);

  LogState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.file) {
    try {
      s.file->info("{}", message);
    } catch (const std::exception&) {
      // spdlog reports its own write errors; a log call never fails the caller.
    }
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "[%H:%M:%S] ", &local);
  s.recent.emplace_back(std::string(stamp) + message);
  if (s.recent.size() > kRecentLines) s.recent.pop_front();
}

std::string log_recent_text() {
  LogState& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::string text;
  text.reserve(s.recent.size() * 64);
  for (const std::string& line : s.recent) {
    text += line;
    text += '\n';
  }
  return text;
}

}  // namespace zelvo::launcher
