#include "core/status_report.hpp"

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/fake_http_client.hpp"
#include "tests/support/log_capture.hpp"

namespace zelvo::launcher {
namespace {

using namespace std::chrono_literals;
using test::FakeHttpClient;
using test::LogCapture;

constexpr std::int64_t kMiB = 1048576;

TEST(SpeedMeterTest, ResamplesOnlyAfterThreeTenthsOfASecond) {
  const auto t0 = std::chrono::steady_clock::time_point{} + 100s;
  SpeedMeter meter;
  meter.start(t0);
  struct Step {
    std::chrono::nanoseconds at;
    std::int64_t bytes;
    double expected;
  };
  const std::vector<Step> steps = {
      {100ms, kMiB, 0.0},                    // too early: still the start value
      {299ms, 2 * kMiB, 0.0},                // just under the interval
      {300ms, 3 * kMiB, 3.0 * kMiB / 0.3},   // first sample, counted from the start
      {500ms, 9 * kMiB, 3.0 * kMiB / 0.3},   // 0.2 s later: previous speed shown again
      {700ms, 5 * kMiB, 2.0 * kMiB / 0.4},   // measured from the last sample, not the last call
  };
  for (const Step& step : steps) {
    EXPECT_DOUBLE_EQ(meter.sample(step.bytes, t0 + step.at), step.expected)
        << "at " << step.at.count() << " ns";
  }
}

TEST(StatusReportTest, PercentageOfTheCappedFraction) {
  struct Case {
    float fraction;
    float capped;
    int percent;
  };
  const std::vector<Case> cases = {
      {0.0f, 0.0f, 0},      {0.125f, 0.125f, 13}, {0.994f, 0.994f, 99},
      {0.999f, 0.999f, 100}, {1.0f, 0.999f, 100},  {1.7f, 0.999f, 100},
  };
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(capped_fraction(c.fraction), c.capped) << c.fraction;
    EXPECT_EQ(percent_of(capped_fraction(c.fraction)), c.percent) << c.fraction;
  }
}

TEST(StatusReportTest, TransferDetailWithAndWithoutTotal) {
  struct Case {
    std::int64_t done;
    float fraction;
    std::int64_t total;
    double speed;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {3 * kMiB / 2, 0.0f, 0, kMiB / 2.0, "1.5 МБ  ·  0.5 МБ/с"},
      {3 * kMiB / 2, 0.0f, -1, 0.0, "1.5 МБ  ·  0.0 МБ/с"},
      {50 * kMiB, 0.5f, 100 * kMiB, 2.0 * kMiB, "50%  ·  50.0 / 100.0 МБ  ·  2.0 МБ/с"},
      {0, 0.0f, 10 * kMiB, 0.0, "0%  ·  0.0 / 10.0 МБ  ·  0.0 МБ/с"},
      {120 * kMiB, 0.999f, 100 * kMiB, 0.0, "100%  ·  120.0 / 100.0 МБ  ·  0.0 МБ/с"},
      {120 * kMiB, 1.2f, 100 * kMiB, 0.0, "100%  ·  120.0 / 100.0 МБ  ·  0.0 МБ/с"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format_transfer_detail(c.done, c.fraction, c.total, c.speed), c.expected);
  }
}

TEST(StatusReportTest, MoveDetail) {
  EXPECT_EQ(format_move_detail(0.25f, 512 * kMiB, "2.0 ГБ", "models/gta3.img"),
            "25%  ·  512 МБ / 2.0 ГБ  ·  models/gta3.img");
}

TEST(StatusReportTest, MoveDetailCutToItsBufferStaysValidUtf8) {
  std::string name;
  for (int i = 0; i < 200; ++i) name += "ж";
  const std::string detail = format_move_detail(0.5f, 0, "1 МБ", name);
  EXPECT_LE(detail.size(), 255u);
  EXPECT_GT(detail.size(), 250u);
  // Every "ж" is two bytes; a cut in the middle would leave a lone lead byte.
  EXPECT_NE(static_cast<unsigned char>(detail.back()), 0xD0);
  EXPECT_EQ(detail.substr(detail.size() - 2), "ж");
}

TEST(StatusReportTest, HintsOneLinePerHintWithTheTag) {
  LogCapture log;
  log_hints("launch fail", {"a", "b"});
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"launch fail hint: a", "launch fail hint: b"}));
}

std::vector<std::string> hint_lines(const std::string& tag, const std::vector<std::string>& hints) {
  std::vector<std::string> lines;
  for (const std::string& h : hints) lines.push_back(tag + " hint: " + h);
  return lines;
}

TEST(StatusReportTest, DownloadFailureLinesWithAndWithoutReason) {
  const std::vector<std::string> download_hints = {
      "проверьте интернет-соединение; отключите VPN/прокси, если CDN блокируется",
      "убедитесь, что на диске достаточно свободного места",
      "добавьте папку игры и лаунчер в исключения антивируса/файрвола",
      "попробуйте перезапустить лаунчер — он выберет другой CDN-узел",
  };
  FakeHttpClient failed;
  failed.set_get_failure("https://cdn/x", "download https://cdn/x returned HTTP 404 (Not Found)");
  std::string body;
  failed.get("https://cdn/x", body, 15);
  FakeHttpClient clean;

  struct Case {
    const char* name;
    const IHttpClient* client;
    bool has_reason;
  };
  const std::vector<Case> cases = {
      {"reason", &failed, true}, {"empty reason", &clean, false}, {"no client", nullptr, false}};
  for (const Case& c : cases) {
    LogCapture log;
    log_download_failure("play", c.client, "https://cdn/x", "/games/z/x.img");
    std::vector<std::string> expected = {"play: url=https://cdn/x", "play: dest=/games/z/x.img"};
    if (c.has_reason) {
      expected.push_back("play: reason: download https://cdn/x returned HTTP 404 (Not Found)");
    }
    for (const std::string& line : hint_lines("play", download_hints)) expected.push_back(line);
    EXPECT_EQ(log.lines(), expected) << c.name;
  }
}

TEST(StatusReportTest, Md5MismatchLines) {
  LogCapture log;
  log_md5_mismatch("update", "/opt/zelvo/update.bin", "aa", "bb");
  std::vector<std::string> expected = {"update: file=/opt/zelvo/update.bin",
                                       "update: expected md5=aa got=bb"};
  for (const std::string& line :
       hint_lines("update", {"файл повреждён при загрузке — попробуйте снова",
                             "включите «Восстановить повреждённые файлы» в настройках",
                             "проверьте стабильность интернета и отключите прокси"})) {
    expected.push_back(line);
  }
  EXPECT_EQ(log.lines(), expected);
}

}  // namespace
}  // namespace zelvo::launcher
