#include "core/status_report.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "app/helpers.hpp"
#include "app/log.hpp"
#include "net/http_client.hpp"

namespace zelvo::launcher {

namespace {

constexpr double kMegabytesPerByte = 9.5367431640625e-7;
constexpr double kSpeedSampleSeconds = 0.3;

// "%.1f" in the C locale whatever locale the window toolkit set (a Russian
// one would print "1,5").
std::string fixed1(double value) {
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 1);
  return result.ec == std::errc() ? std::string(buf, result.ptr) : std::string("0.0");
}

// snprintf may cut a multi-byte character in half; the UI must get valid UTF-8.
std::string trim_cut_utf8(const char* text) {
  std::string s(text);
  std::size_t lead = s.size();
  while (lead > 0 && (static_cast<unsigned char>(s[lead - 1]) & 0xC0) == 0x80) --lead;
  if (lead == 0) return s;
  const unsigned char c = static_cast<unsigned char>(s[lead - 1]);
  const std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  if (s.size() - (lead - 1) < need) s.resize(lead - 1);
  return s;
}

}  // namespace

void SpeedMeter::start(std::chrono::steady_clock::time_point now) {
  last_time = now;
  last_bytes = 0;
  bytes_per_second = 0.0;
}

double SpeedMeter::sample(std::int64_t bytes_now, std::chrono::steady_clock::time_point now) {
  const double elapsed =
      static_cast<double>(
          std::chrono::duration_cast<std::chrono::nanoseconds>(now - last_time).count()) /
      1e9;
  if (elapsed >= kSpeedSampleSeconds) {
    bytes_per_second = static_cast<double>(bytes_now - last_bytes) / elapsed;
    last_bytes = bytes_now;
    last_time = now;
  }
  return bytes_per_second;
}

float capped_fraction(float fraction) { return std::min(fraction, 0.999f); }

int percent_of(float capped) { return static_cast<int>(capped * 100.0f + 0.5f); }

std::string format_transfer_detail(std::int64_t done, float fraction, std::int64_t total,
                                   double bytes_per_second) {
  char buf[160];
  const std::string done_mb = fixed1(static_cast<double>(done) * kMegabytesPerByte);
  const std::string speed_mb = fixed1(bytes_per_second * kMegabytesPerByte);
  if (total <= 0) {
    std::snprintf(buf, sizeof buf, "%s МБ  ·  %s МБ/с", done_mb.c_str(), speed_mb.c_str());
  } else {
    std::snprintf(buf, sizeof buf, "%d%%  ·  %s / %s МБ  ·  %s МБ/с",
                  percent_of(capped_fraction(fraction)), done_mb.c_str(),
                  fixed1(static_cast<double>(total) * kMegabytesPerByte).c_str(),
                  speed_mb.c_str());
  }
  return trim_cut_utf8(buf);
}

std::string format_move_detail(float fraction, std::int64_t moved, const std::string& total_text,
                               const std::string& file) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%d%%  ·  %s / %s  ·  %s", percent_of(capped_fraction(fraction)),
                size_text(moved).c_str(), total_text.c_str(), file.c_str());
  return trim_cut_utf8(buf);
}

const std::vector<std::string> kHostHints = {
    "проверьте интернет-соединение",
    "отключите VPN/прокси или смените DNS (например, 8.8.8.8)",
    "файрвол/антивирус может блокировать доступ к CDN",
    "попробуйте позже — CDN может быть временно недоступен",
};

const std::vector<std::string> kServerHints = {
    "проверьте интернет и доступность CDN",
    "online.php и servers.json оба недоступны на выбранном узле",
    "перезапустите лаунчер для выбора другого CDN",
};

const std::vector<std::string> kDownloadHints = {
    "проверьте интернет-соединение; отключите VPN/прокси, если CDN блокируется",
    "убедитесь, что на диске достаточно свободного места",
    "добавьте папку игры и лаунчер в исключения антивируса/файрвола",
    "попробуйте перезапустить лаунчер — он выберет другой CDN-узел",
};

const std::vector<std::string> kMd5Hints = {
    "файл повреждён при загрузке — попробуйте снова",
    "включите «Восстановить повреждённые файлы» в настройках",
    "проверьте стабильность интернета и отключите прокси",
};

const std::vector<std::string> kDiskHints = {
    "освободите место на диске с игрой",
    "или укажите папку на другом диске в настройках лаунчера",
};

const std::vector<std::string> kMoveHints = {
    "проверьте свободное место на устройстве",
    "и разрешение на доступ к файлам",
};

const std::vector<std::string> kLaunchHints = {
    "дождитесь завершения загрузки файлов и нажмите «Играть» снова",
    "включите «Восстановить повреждённые файлы» в настройках лаунчера",
    "проверьте, что папка игры существует и доступна для записи",
    "на PC: убедитесь, что gta_sa.exe не удалён антивирусом",
    "на Android: переустановите игру, если APK повреждён",
};

void log_hints(const std::string& tag, const std::vector<std::string>& hints) {
  for (const std::string& hint : hints) log_printf("%s hint: %s", tag.c_str(), hint.c_str());
}

void log_download_failure(const std::string& tag, const IHttpClient* client,
                          const std::string& url, const std::string& dest) {
  log_printf("%s: url=%s", tag.c_str(), url.c_str());
  log_printf("%s: dest=%s", tag.c_str(), dest.c_str());
  if (client != nullptr) {
    const std::string reason = client->last_error();
    if (!reason.empty()) log_printf("%s: reason: %s", tag.c_str(), reason.c_str());
  }
  log_hints(tag, kDownloadHints);
}

void log_md5_mismatch(const std::string& tag, const std::string& file,
                      const std::string& expected, const std::string& actual) {
  log_printf("%s: file=%s", tag.c_str(), file.c_str());
  log_printf("%s: expected md5=%s got=%s", tag.c_str(), expected.c_str(), actual.c_str());
  log_hints(tag, kMd5Hints);
}

}  // namespace zelvo::launcher
