#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zelvo::launcher {

class IHttpClient;

// Transfer speed re-sampled at most every 0.3 s, so the shown value does not flicker.
struct SpeedMeter {
  std::chrono::steady_clock::time_point last_time{};
  std::int64_t last_bytes = 0;
  double bytes_per_second = 0.0;

  void start(std::chrono::steady_clock::time_point now);
  // Returns the speed to show for bytes_now at now.
  double sample(std::int64_t bytes_now, std::chrono::steady_clock::time_point now);
};

// Counters of the Play download phase shared with report_download_progress.
struct TransferCounters {
  std::int64_t completed = 0;  // sizes (> 0) of files finished in this run
  std::int64_t planned = 0;    // sum of the planned sizes (> 0)
  float file_fraction = 0.0f;  // index of the current file / number of files
  SpeedMeter speed;
};

// Fraction capped at 0.999 while a transfer runs.
float capped_fraction(float fraction);
// Capped fraction as a whole percentage (0.999 shows 100).
int percent_of(float capped);

// "%d%%  ·  %.1f / %.1f МБ  ·  %.1f МБ/с", or "%.1f МБ  ·  %.1f МБ/с" without a total.
std::string format_transfer_detail(std::int64_t done, float fraction, std::int64_t total,
                                   double bytes_per_second);
// "%d%%  ·  <moved> / <total>  ·  <file>".
std::string format_move_detail(float fraction, std::int64_t moved, const std::string& total_text,
                               const std::string& file);

// Russian advice logged after a failure, one "<tag> hint: <text>" line each.
extern const std::vector<std::string> kHostHints;
extern const std::vector<std::string> kServerHints;
extern const std::vector<std::string> kDownloadHints;
extern const std::vector<std::string> kMd5Hints;
extern const std::vector<std::string> kDiskHints;
extern const std::vector<std::string> kMoveHints;
extern const std::vector<std::string> kLaunchHints;

void log_hints(const std::string& tag, const std::vector<std::string>& hints);
// url, dest, the client's reason when it has one, then the download hints.
void log_download_failure(const std::string& tag, const IHttpClient* client,
                          const std::string& url, const std::string& dest);
// file, expected and actual digest, then the MD5 hints.
void log_md5_mismatch(const std::string& tag, const std::string& file,
                      const std::string& expected, const std::string& actual);

}  // namespace zelvo::launcher
