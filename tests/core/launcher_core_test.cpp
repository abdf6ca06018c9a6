#include "core/launcher_core.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/fake_http_client.hpp"
#include "tests/support/fake_platform.hpp"
#include "tests/support/log_capture.hpp"

namespace zelvo::launcher {
namespace {

using test::FakeHttpClient;
using test::FakePlatform;
using test::Gate;
using test::LogCapture;

// Nodes answer only what a test registers on the fake; the rest fails at once.
constexpr const char* kNodeA = "https://node-a.test";
constexpr const char* kPingA = "https://node-a.test/launcher/ping.txt";
constexpr const char* kGeoProbe = "https://geo.test/probe";
CdnConfig test_cdn() { return CdnConfig{{kNodeA, "https://node-b.test"}, kGeoProbe, ""}; }

long count_of(const std::vector<std::string>& urls, const std::string& url) {
  return std::count(urls.begin(), urls.end(), url);
}

ServerEntry test_server() {
  ServerEntry s;
  s.id = "1";
  s.name = "Main";
  s.address = "127.0.0.1";
  return s;
}

class LauncherCoreTest : public ::testing::Test {
 protected:
  LauncherCoreTest() : core_(std::make_unique<LauncherCore>(client_, platform_, test_cdn())) {}
  ~LauncherCoreTest() override {
    gate_.open();
    core_.reset();
  }

  // Holds the worker in a job until gate_ opens, so queued jobs wait.
  void block_worker() {
    core_->post_job([this] { gate_.wait(); });
    gate_.wait_entered();
  }

  // Returns once every job posted before has finished.
  void wait_for_worker() {
    auto done = std::make_shared<Gate>();
    core_->post_job([done] { done->open(); });
    done->wait();
  }

  LauncherCore& core() { return *core_; }

  FakeHttpClient client_;
  FakePlatform platform_;
  Gate gate_;
  std::unique_ptr<LauncherCore> core_;
};

TEST_F(LauncherCoreTest, JobsRunInPostingOrderAndTheQueueDrainsOnDestruction) {
  std::vector<int> order;  // written by the worker only, read after the join
  // The first job holds the worker until the destructor has begun (it sets
  // the cancel flag first), so the later jobs are still queued then.
  LauncherCore* core_ptr = core_.get();  // core_ is null while it is being reset
  core().post_job([&order, core_ptr] {
    while (!core_ptr->is_cancelled()) std::this_thread::yield();
    order.push_back(0);
  });
  for (int i = 1; i <= 5; ++i) core().post_job([&order, i] { order.push_back(i); });
  core_.reset();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST_F(LauncherCoreTest, StartUpSelectsAHostThenLoadsServersAndChecksForAnUpdate) {
  client_.set_head(kPingA, true);
  core().start();
  wait_for_worker();
  // The update check runs although both server-list resources failed.
  const std::vector<std::string> gets = client_.urls("GET");
  ASSERT_FALSE(gets.empty());
  EXPECT_EQ(gets.front(), "https://node-a.test/launcher/online.php");
  EXPECT_EQ(gets.back(), "https://node-a.test/launcher/update.json");
  EXPECT_EQ(core().current_host(), kNodeA);
  EXPECT_EQ(core().snapshot().host, kNodeA);
}

TEST_F(LauncherCoreTest, StartUpStopsWhenNoNodeAnswers) {
  core().start();
  wait_for_worker();
  EXPECT_TRUE(client_.urls("GET").empty());
  EXPECT_EQ(core().snapshot().phase, CorePhase::Error);
  EXPECT_EQ(core().current_host(), "");
}

TEST_F(LauncherCoreTest, RefreshProbesOnlyWithoutAHostAndReselectProbesAgain) {
  client_.set_head(kPingA, true);
  core().request_refresh();
  core().request_refresh();
  wait_for_worker();
  EXPECT_EQ(count_of(client_.urls("HEAD"), kPingA), 1);
  EXPECT_EQ(count_of(client_.urls("GET"), "https://node-a.test/launcher/online.php"), 2);

  core().request_reselect_host();
  wait_for_worker();
  EXPECT_EQ(count_of(client_.urls("HEAD"), kPingA), 2);
  EXPECT_EQ(count_of(client_.urls("GET"), "https://node-a.test/launcher/online.php"), 3);
}

TEST_F(LauncherCoreTest, OnlyAutoAndEmptyRegionsProbeTheGeoResource) {
  struct Case {
    std::string region;
    bool probes_geo;
  };
  const std::vector<Case> cases = {{"auto", true}, {"", true}, {"EU", false}, {"Auto", false}};
  for (const Case& c : cases) {
    const long before = count_of(client_.urls("HEAD"), kGeoProbe);
    core().set_region(c.region);
    core().request_reselect_host();
    wait_for_worker();
    EXPECT_EQ(count_of(client_.urls("HEAD"), kGeoProbe) - before, c.probes_geo ? 1 : 0)
        << "'" << c.region << "'";
  }
}

TEST_F(LauncherCoreTest, AThrowingJobIsLoggedAndTheWorkerGoesOn) {
  LogCapture log;
  core().post_job([] { throw std::runtime_error("boom"); });
  wait_for_worker();
  EXPECT_TRUE(log.has("core: job failed: boom"));
}

TEST_F(LauncherCoreTest, BusyFollowsThePhase) {
  struct Case {
    CorePhase phase;
    bool busy;
  };
  const std::vector<Case> cases = {
      {CorePhase::Idle, false},          {CorePhase::Connecting, true},
      {CorePhase::LoadingServers, true}, {CorePhase::MovingFiles, true},
      {CorePhase::Checking, true},       {CorePhase::Downloading, true},
      {CorePhase::Finishing, true},      {CorePhase::Closing, false},
      {CorePhase::Error, false},
  };
  for (const Case& c : cases) {
    core().set_status(c.phase, "m", 0.25f, "d");
    const CoreStatus s = core().snapshot();
    EXPECT_EQ(s.phase, c.phase);
    EXPECT_EQ(s.busy, c.busy) << static_cast<int>(c.phase);
    EXPECT_EQ(s.message, "m");
    EXPECT_FLOAT_EQ(s.progress, 0.25f);
    EXPECT_EQ(s.detail, "d");
  }
}

TEST_F(LauncherCoreTest, FailKeepsTheTransferDetail) {
  core().set_status(CorePhase::Downloading, "Загружаем файлы...", 0.4f, "40%  ·  x");
  core().fail("Не удалось загрузить файл");
  const CoreStatus s = core().snapshot();
  EXPECT_EQ(s.phase, CorePhase::Error);
  EXPECT_EQ(s.message, "Не удалось загрузить файл");
  EXPECT_FLOAT_EQ(s.progress, 0.0f);
  EXPECT_FALSE(s.busy);
  EXPECT_EQ(s.detail, "40%  ·  x");
}

TEST_F(LauncherCoreTest, ErrorDetailLineComesBeforeTheErrorLineAndOnlyWhenGiven) {
  {
    LogCapture log;
    core().fail_with_detail("EACCES: permission denied", "Не удалось запустить игру");
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"ERROR detail: EACCES: permission denied",
                                                     "ERROR: Не удалось запустить игру"}));
  }
  {
    LogCapture log;
    core().fail_with_detail("", "Не удалось запустить игру");
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"ERROR: Не удалось запустить игру"}));
  }
}

// Set ready shows a full bar; Play shows its status at once, even behind
// other jobs. Each case replaces a status that had a detail and a part bar.
TEST_F(LauncherCoreTest, SetReadyAndPlayReplaceTheShownStatus) {
  const struct {
    const char* name;
    std::function<void()> act;
    CorePhase phase;
    const char* message;
    float progress;
    bool busy;
  } cases[] = {
      {"set ready", [this] { core().set_ready("Готово"); }, CorePhase::Idle, "Готово", 1.0f, false},
      {"play behind a blocked worker",
       [this] {
         block_worker();
         core().request_play("Nick", test_server(), false);
       },
       CorePhase::Checking, "Готовим запуск...", 0.0f, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    core().set_status(CorePhase::Connecting, "Подключаемся...", 0.3f, "https://node-a.test");
    c.act();
    const CoreStatus s = core().snapshot();
    EXPECT_EQ(s.phase, c.phase);
    EXPECT_EQ(s.message, c.message);
    EXPECT_FLOAT_EQ(s.progress, c.progress);
    EXPECT_EQ(s.detail, "");
    EXPECT_EQ(s.busy, c.busy);
  }
}

TEST_F(LauncherCoreTest, WhileAnOperationRunsOnlySetReadyIsIgnored) {
  block_worker();
  core().request_play("Nick", test_server(), false);

  core().set_ready("Готово");
  EXPECT_EQ(core().snapshot().message, "Готовим запуск...");

  core().set_status(CorePhase::LoadingServers, "Загружаем список серверов...", 0.0f, "");
  EXPECT_EQ(core().snapshot().message, "Загружаем список серверов...");

  core().fail("Сервер недоступен");
  EXPECT_EQ(core().snapshot().phase, CorePhase::Error);

  // A second Play (or an update) while one is queued changes nothing.
  core().request_play("Other", test_server(), true);
  core().request_self_update();
  EXPECT_EQ(core().snapshot().message, "Сервер недоступен");

  gate_.open();
  wait_for_worker();
  core().set_ready("Готово");
  const CoreStatus s = core().snapshot();
  EXPECT_EQ(s.phase, CorePhase::Idle);
  EXPECT_EQ(s.message, "Готово");
  EXPECT_FLOAT_EQ(s.progress, 1.0f);
}

TEST_F(LauncherCoreTest, NoOperationStartsAfterTheWorkWasHandedOver) {
  client_.set_head(kPingA, true);
  client_.set_get("https://node-a.test/launcher/pc/files.json", "[]");
  core().set_region("ru");
  core().request_play("Nick", test_server(), false);
  wait_for_worker();
  ASSERT_EQ(core().snapshot().phase, CorePhase::Closing);
  ASSERT_EQ(platform_.launches().size(), 1u);

  // A click that reaches the core before the window closes.
  core().request_play("Nick", test_server(), false);
  core().request_self_update();
  wait_for_worker();
  EXPECT_EQ(core().snapshot().message, "Приятной игры!");
  EXPECT_EQ(platform_.launches().size(), 1u);
}

TEST_F(LauncherCoreTest, CancelFlagIsClearedOnlyByAnAcceptedOperation) {
  block_worker();
  core().cancel();
  EXPECT_TRUE(core().is_cancelled());
  EXPECT_EQ(client_.cancel_count(), 1);

  core().request_refresh();
  core().request_reselect_host();
  core().start();
  EXPECT_TRUE(core().is_cancelled());

  core().request_play("Nick", test_server(), false);
  EXPECT_FALSE(core().is_cancelled());

  core().cancel();
  core().request_play("Nick", test_server(), false);  // ignored: one is queued
  core().request_self_update();                       // ignored as well
  EXPECT_TRUE(core().is_cancelled());

  gate_.open();
  wait_for_worker();
  EXPECT_TRUE(core().is_cancelled());
  core().request_self_update();
  EXPECT_FALSE(core().is_cancelled());
}

TEST_F(LauncherCoreTest, ReportersStopWithoutWritingOnceCancelled) {
  core().set_status(CorePhase::Downloading, "before", 0.2f, "d");
  core().cancel();
  std::atomic<int> notified{0};
  core().set_change_listener([&] { ++notified; });

  TransferCounters counters;
  EXPECT_FALSE(core().report_update_progress(10, 100));
  EXPECT_FALSE(core().report_download_progress(counters, 10));
  EXPECT_FALSE(core().report_move_progress(10, 100, "1 МБ", "a"));

  const CoreStatus s = core().snapshot();
  EXPECT_EQ(s.message, "before");
  EXPECT_FLOAT_EQ(s.progress, 0.2f);
  EXPECT_EQ(s.detail, "d");
  EXPECT_EQ(notified.load(), 0);
}

TEST_F(LauncherCoreTest, UpdateProgressFractionAndDetail) {
  struct Case {
    std::int64_t received;
    std::int64_t total;
    float progress;
    std::string detail_prefix;
  };
  const std::vector<Case> cases = {
      {512 * 1024, 1048576, 0.5f, "50%  ·  0.5 / 1.0 МБ  ·  "},
      {2097152, 1048576, 0.999f, "100%  ·  2.0 / 1.0 МБ  ·  "},
      {1572864, -1, 0.0f, "1.5 МБ  ·  "},
      {1572864, 0, 0.0f, "1.5 МБ  ·  "},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(core().report_update_progress(c.received, c.total));
    const CoreStatus s = core().snapshot();
    EXPECT_EQ(s.phase, CorePhase::Downloading);
    EXPECT_EQ(s.message, "Загружаем обновление лаунчера...");
    EXPECT_FLOAT_EQ(s.progress, c.progress) << c.received << "/" << c.total;
    EXPECT_EQ(s.detail.rfind(c.detail_prefix, 0), 0u) << s.detail;
    EXPECT_EQ(s.detail.substr(s.detail.size() - 8), " МБ/с") << s.detail;
  }
}

TEST_F(LauncherCoreTest, PlayDownloadProgressCountsFinishedFilesAndFallsBack) {
  struct Case {
    std::int64_t completed;
    std::int64_t planned;
    float file_fraction;
    std::int64_t current;
    float progress;
    std::string detail_prefix;
  };
  const std::vector<Case> cases = {
      {1048576, 4194304, 0.0f, 1048576, 0.5f, "50%  ·  2.0 / 4.0 МБ  ·  "},
      {4194304, 4194304, 0.9f, 1, 0.999f, "100%  ·  4.0 / 4.0 МБ  ·  "},
      {1048576, 0, 0.25f, 524288, 0.25f, "1.5 МБ  ·  "},
  };
  for (const Case& c : cases) {
    TransferCounters counters;
    counters.completed = c.completed;
    counters.planned = c.planned;
    counters.file_fraction = c.file_fraction;
    counters.speed.start(std::chrono::steady_clock::now());
    ASSERT_TRUE(core().report_download_progress(counters, c.current));
    const CoreStatus s = core().snapshot();
    EXPECT_EQ(s.phase, CorePhase::Downloading);
    EXPECT_EQ(s.message, "Загружаем файлы...");
    EXPECT_FLOAT_EQ(s.progress, c.progress);
    EXPECT_EQ(s.detail.rfind(c.detail_prefix, 0), 0u) << s.detail;
  }
}

TEST_F(LauncherCoreTest, MoveProgressFractionAndDetail) {
  ASSERT_TRUE(core().report_move_progress(256 * 1048576LL, 1024 * 1048576LL, "1.0 ГБ", "a.img"));
  CoreStatus s = core().snapshot();
  EXPECT_EQ(s.phase, CorePhase::MovingFiles);
  EXPECT_EQ(s.message, "Перемещаем файлы игры...");
  EXPECT_FLOAT_EQ(s.progress, 0.25f);
  EXPECT_EQ(s.detail, "25%  ·  256 МБ / 1.0 ГБ  ·  a.img");

  ASSERT_TRUE(core().report_move_progress(5 * 1048576LL, 0, "0 МБ", "b.img"));
  s = core().snapshot();
  EXPECT_FLOAT_EQ(s.progress, 0.0f);
  EXPECT_EQ(s.detail, "0%  ·  5 МБ / 0 МБ  ·  b.img");
}

TEST_F(LauncherCoreTest, TakeServersOncePerStoredListAlsoAnEmptyOne) {
  std::vector<ServerEntry> out;
  EXPECT_FALSE(core().take_servers(out));

  core().store_servers({test_server(), test_server()});
  EXPECT_TRUE(core().snapshot().servers_changed);
  EXPECT_TRUE(core().take_servers(out));
  EXPECT_EQ(out.size(), 2u);
  EXPECT_FALSE(core().snapshot().servers_changed);
  EXPECT_FALSE(core().take_servers(out));
  EXPECT_EQ(out.size(), 2u);  // untouched

  core().store_servers({});
  EXPECT_TRUE(core().take_servers(out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(core().take_servers(out));
}

TEST_F(LauncherCoreTest, ListenerRunsWithoutLocksOnEveryChange) {
  std::mutex seen_mutex;
  std::vector<std::string> seen;
  // Calling back into the core would deadlock if a core lock were held.
  core().set_change_listener([&] {
    const CoreStatus s = core().snapshot();
    const std::string host = core().current_host();
    std::lock_guard<std::mutex> lock(seen_mutex);
    seen.push_back(s.message + (s.servers_changed ? " +servers" : ""));
  });

  core().post_job([&] {
    core().set_status(CorePhase::Connecting, "Подключаемся...", 0.0f, "");
    core().store_servers({test_server()});
    core().set_ready("Готово");
    core().fail("Ошибка");
  });
  wait_for_worker();
  core().request_play("Nick", test_server(), false);
  wait_for_worker();

  core().set_change_listener(nullptr);
  core().set_status(CorePhase::Idle, "after", 0.0f, "");

  std::lock_guard<std::mutex> lock(seen_mutex);
  ASSERT_GE(seen.size(), 5u);
  EXPECT_EQ(seen[0], "Подключаемся...");
  EXPECT_EQ(seen[1], "Подключаемся... +servers");
  EXPECT_EQ(seen[2], "Готово +servers");
  EXPECT_EQ(seen[3], "Ошибка +servers");
  EXPECT_EQ(seen[4], "Готовим запуск... +servers");
  EXPECT_NE(seen.back(), "after");
}

}  // namespace
}  // namespace zelvo::launcher
