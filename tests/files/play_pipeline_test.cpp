#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/launcher_core.hpp"
#include "files/file_digest.hpp"
#include "files/verify_cache.hpp"
#include "tests/support/fake_http_client.hpp"
#include "tests/support/fake_platform.hpp"
#include "tests/support/log_capture.hpp"
#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher {
namespace {

using test::FakeHttpClient;
using test::FakePlatform;
using test::LogCapture;
using test::read_text_file;
using test::TempDir;
using test::write_text_file;

constexpr std::int64_t kGiB = std::int64_t{1} << 30;
const std::string kNode = "https://cdn.test";
const std::string kManifestUrl = kNode + "/launcher/pc/files.json";
const std::string kFiles = kNode + "/launcher/pc/files/";

std::string entry(const std::string& path, const std::string& md5, std::int64_t size = -1,
                  const std::string& extra = "") {
  std::string escaped;
  for (char ch : path) {
    if (ch == '\\') escaped += '\\';
    escaped += ch;
  }
  return R"({"path":")" + escaped + R"(","md5":")" + md5 + R"(","size":)" + std::to_string(size) +
         extra + "}";
}

std::string manifest_of(const std::vector<std::string>& entries) {
  std::string text = R"({"files":[)";
  for (std::size_t i = 0; i < entries.size(); ++i) text += (i ? "," : "") + entries[i];
  return text + "]}";
}

// Every status the core publishes while action runs.
std::vector<CoreStatus> statuses_during(LauncherCore& core, const std::function<void()>& action) {
  std::vector<CoreStatus> seen;
  std::mutex seen_mutex;
  core.set_change_listener([&] {
    std::lock_guard<std::mutex> lock(seen_mutex);
    seen.push_back(core.snapshot());
  });
  action();
  core.set_change_listener(nullptr);
  return seen;
}

class PlayTest : public ::testing::Test {
 protected:
  PlayTest()
      : platform(dir.file("game")), core(http, platform, CdnConfig{{kNode}, "https://geo.test/probe", ""}) {
    std::filesystem::create_directories(dir.file("game"));
    core.set_region("EU");
    http.set_head(kNode + "/launcher/ping.txt", true);
    http.set_chunk_size(64);
    server.name = "Main";
    server.address = "10.0.0.1";
  }

  std::string game(const std::string& rel) const { return dir.file("game/" + rel); }
  void put(const std::string& rel, const std::string& content) { write_text_file(game(rel), content); }
  void serve(const std::string& rel, const std::string& content) { http.set_download(kFiles + rel, content); }
  void play(bool restore = false) { core.run_play("Nick", server, restore); }
  CoreStatus status() const { return core.snapshot(); }
  std::vector<std::string> downloads() const { return http.urls("DOWNLOAD"); }
  VerifyCache cache() const { return VerifyCache(game("z/verify_cache.bin")); }

  TempDir dir;
  FakeHttpClient http;
  FakePlatform platform;
  ServerEntry server;
  LauncherCore core;
};

TEST_F(PlayTest, DecidesPerFileWhatToFetch) {
  const std::string good = "good content";
  put("same.dat", good);
  put("modified.dat", "user changed this");
  put("protected.dat", "user changed this too");
  put("none.dat", "anything at all");
  put("empty_md5.dat", "whatever");
  http.set_get(kManifestUrl,
               manifest_of({entry("same.dat", md5_hex(good), 12),
                            entry("missing.dat", md5_hex("fresh"), 5),
                            entry("modified.dat", md5_hex("original"), 8),
                            entry("protected.dat", md5_hex("original"), 8, R"(,"locked":true)"),
                            entry("none.dat", "NONE"),
                            entry("empty_md5.dat", ""),
                            entry("sub\\dir\\nested.dat", md5_hex("nested"))}));
  serve("missing.dat", "fresh");
  serve("protected.dat", "original");
  serve("sub\\dir\\nested.dat", "nested");

  LogCapture log;
  play(/*restore=*/false);

  EXPECT_EQ(downloads(), (std::vector<std::string>{kFiles + "missing.dat", kFiles + "protected.dat",
                                                   kFiles + "sub\\dir\\nested.dat"}));
  EXPECT_EQ(read_text_file(game("missing.dat")), "fresh");
  EXPECT_EQ(read_text_file(game("protected.dat")), "original");
  EXPECT_EQ(read_text_file(game("sub/dir/nested.dat")), "nested");
  EXPECT_EQ(read_text_file(game("modified.dat")), "user changed this");
  EXPECT_EQ(read_text_file(game("none.dat")), "anything at all");
  EXPECT_TRUE(log.has("play: skip modified file modified.dat (md5 differs, restore off)"));
  EXPECT_TRUE(log.has("play: 3 file(s) need download, 13 byte(s) total"));
  EXPECT_TRUE(log.has("play: download " + kFiles + "missing.dat -> " + game("missing.dat")));
  EXPECT_TRUE(log.has("play: download phase complete"));
  EXPECT_EQ(platform.downloaded_files(),
            (std::vector<std::string>{game("missing.dat"), game("protected.dat"), game("sub/dir/nested.dat")}));
  EXPECT_EQ(status().phase, CorePhase::Closing);
  EXPECT_EQ(status().message, "Приятной игры!");
  ASSERT_EQ(platform.launches().size(), 1u);
  EXPECT_EQ(platform.launches()[0].nickname, "Nick");
  EXPECT_EQ(platform.launches()[0].server.address, "10.0.0.1");

  // The cache holds every checked or fetched file with a digest; files
  // without one ("NONE", "") are never read for it.
  const VerifyCache after = cache();
  std::vector<std::string> keys;
  for (const auto& [path, record] : after.records()) keys.push_back(path);
  EXPECT_EQ(keys, (std::vector<std::string>{"missing.dat", "modified.dat", "protected.dat", "same.dat",
                                            "sub\\dir\\nested.dat"}));
  EXPECT_FALSE(std::filesystem::exists(game("missing.dat.part")));

  // With restore on, the modified file is fetched too; the rest is current.
  serve("modified.dat", "original");
  http.set_get(kManifestUrl, manifest_of({entry("same.dat", md5_hex(good), 12),
                                          entry("modified.dat", md5_hex("original"), 8),
                                          entry("none.dat", "NONE")}));
  play(/*restore=*/true);
  EXPECT_EQ(downloads().size(), 4u);
  EXPECT_EQ(downloads().back(), kFiles + "modified.dat");
  EXPECT_EQ(read_text_file(game("none.dat")), "anything at all");
  EXPECT_EQ(read_text_file(game("modified.dat")), "original");
}

TEST_F(PlayTest, UnchangedInstallationReadsNothingAndKeepsTheCacheFile) {
  put("a.dat", "aaa");
  put("b.dat", "bbb");
  http.set_get(kManifestUrl, manifest_of({entry("a.dat", md5_hex("aaa"), 3), entry("b.dat", md5_hex("bbb"), 3)}));
  play();
  struct stat first {};
  ASSERT_EQ(::stat(game("z/verify_cache.bin").c_str(), &first), 0);

  // Same size and time, other content: a run that read the files would see a mismatch.
  const std::int64_t size = 3;
  std::int64_t mtime = 0, ignored = 0;
  ASSERT_TRUE(file_stat(game("a.dat"), ignored, mtime));
  put("a.dat", "AAA");
  const struct timespec times[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, game("a.dat").c_str(), times, 0), 0);
  ASSERT_EQ(size, static_cast<std::int64_t>(read_text_file(game("a.dat")).size()));

  LogCapture log;
  play(/*restore=*/true);
  EXPECT_TRUE(log.has("play: 0 file(s) need download, 0 byte(s) total"));
  EXPECT_FALSE(log.contains("disk space"));
  EXPECT_TRUE(downloads().empty());
  struct stat second {};
  ASSERT_EQ(::stat(game("z/verify_cache.bin").c_str(), &second), 0);
  EXPECT_EQ(first.st_ino, second.st_ino);
  EXPECT_EQ(platform.launches().size(), 2u);
}

TEST_F(PlayTest, FreeSpaceCheck) {
  struct Case {
    const char* name;
    std::vector<std::int64_t> sizes;
    std::int64_t free;
    bool refused;
    std::vector<std::string> lines;
    std::string message = "";
  };
  const std::int64_t ten = 10 * kGiB;
  const std::int64_t ten_point_three = ten + 3 * kGiB / 10;
  const std::vector<Case> cases = {
      {"10 GiB planned, 10.3 GiB free", {6 * kGiB, 4 * kGiB}, ten_point_three, true,
       {"play: disk space check: need 10737418240 byte(s) (+headroom), free " + std::to_string(ten_point_three) + " byte(s)",
        "play: not enough disk space at %GAME%: need ~10.5 ГБ, free 10.3 ГБ",
        "play hint: освободите место на диске с игрой",
        "play hint: или укажите папку на другом диске в настройках лаунчера",
        "ERROR: Недостаточно места на диске. Нужно ~10.5 ГБ, свободно 10.3 ГБ. Освободите место или выберите другой диск в настройках."},
       "Недостаточно места на диске. Нужно ~10.5 ГБ, свободно 10.3 ГБ. Освободите место или выберите другой диск в настройках."},
      {"exactly free minus the headroom", {ten}, ten + 536870912, false, {}},
      {"one byte short", {ten}, ten + 536870911, true, {}},
      {"free space unknown", {ten}, -1, false, {"play: disk space unknown for %GAME%, skipping pre-check"}},
      {"no sizes", {-1, 0}, 0, false, {}},
      {"sizes that would overflow", {std::int64_t{1} << 62, std::int64_t{1} << 62}, std::int64_t{1} << 62, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir game_dir;
    FakePlatform os(game_dir.path());
    FakeHttpClient client;
    LauncherCore local(client, os, CdnConfig{{kNode}, "https://geo.test/probe", ""});
    local.set_region("EU");
    client.set_head(kNode + "/launcher/ping.txt", true);
    os.set_free_disk_space(c.free);
    std::vector<std::string> entries;
    for (std::size_t i = 0; i < c.sizes.size(); ++i) {
      const std::string name = "f" + std::to_string(i);
      entries.push_back(entry(name, "NONE", c.sizes[i]));
      client.set_download(kFiles + name, "x");
    }
    client.set_get(kManifestUrl, manifest_of(entries));

    LogCapture log;
    local.run_play("Nick", server, false);
    const CoreStatus st = local.snapshot();
    if (c.refused) {
      EXPECT_EQ(st.phase, CorePhase::Error);
      EXPECT_TRUE(client.urls("DOWNLOAD").empty());
      EXPECT_TRUE(os.launches().empty());
    } else {
      EXPECT_EQ(st.phase, CorePhase::Closing);
      EXPECT_EQ(client.urls("DOWNLOAD").size(), c.sizes.size());
    }
    const bool sized = c.sizes[0] > 0;
    EXPECT_EQ(os.disk_space_queries(), sized ? std::vector<std::string>{game_dir.path()} : std::vector<std::string>{});
    if (!c.lines.empty()) {
      std::vector<std::string> wanted;
      for (std::string line : c.lines) {
        const std::size_t at = line.find("%GAME%");
        if (at != std::string::npos) line.replace(at, 6, game_dir.path());
        wanted.push_back(line);
      }
      const std::vector<std::string> all = log.lines();
      const int first = log.index_of(wanted[0]);
      ASSERT_GE(first, 0) << wanted[0];
      for (std::size_t i = 0; i < wanted.size(); ++i) EXPECT_EQ(all.at(first + i), wanted[i]);
    }
    if (!c.message.empty()) {
      EXPECT_EQ(st.message, c.message);
    }
  }
}

TEST_F(PlayTest, ManifestUnavailableStartsTheGameUnchecked) {
  http.set_get_failure(kManifestUrl, "HTTP 404 Not Found");
  LogCapture log;
  const std::vector<CoreStatus> seen = statuses_during(core, [&] { play(); });

  EXPECT_TRUE(log.has("play: manifest unavailable, skipping verification"));
  EXPECT_EQ(log.index_of("play: manifest unavailable, skipping verification") + 1,
            log.index_of("play: launching game"));
  EXPECT_FALSE(std::filesystem::exists(game("z")));
  ASSERT_EQ(platform.launches().size(), 1u);
  bool skipped_shown = false;
  for (const CoreStatus& s : seen) {
    if (s.phase == CorePhase::Checking && s.message == "Манифест обновления недоступен, пропускаем проверку.") {
      skipped_shown = s.progress == 1.0f;
    }
  }
  EXPECT_TRUE(skipped_shown);
  EXPECT_EQ(status().phase, CorePhase::Closing);
}

TEST_F(PlayTest, CancelDuringATransferKeepsThePreviousFile) {
  put("b.dat", "previous b");
  http.set_get(kManifestUrl, manifest_of({entry("a.dat", md5_hex("new a"), 5),
                                          entry("b.dat", md5_hex(std::string(1000, 'b')), 1000, R"(,"protected":true)")}));
  serve("a.dat", "new a");
  serve("b.dat", std::string(1000, 'b'));
  http.set_hook([this](const FakeHttpClient::Call& call) {
    if (call.method == "DOWNLOAD" && call.url == kFiles + "b.dat") core.cancel();
  });

  LogCapture log;
  play();
  EXPECT_EQ(read_text_file(game("b.dat")), "previous b");
  EXPECT_FALSE(std::filesystem::exists(game("b.dat.part")));
  EXPECT_EQ(read_text_file(game("a.dat")), "new a");
  EXPECT_TRUE(log.has("play: cancelled during download of b.dat"));
  EXPECT_EQ(status().phase, CorePhase::Idle);
  EXPECT_EQ(status().message, "Отменено");
  EXPECT_EQ(status().detail, "");
  EXPECT_TRUE(platform.launches().empty());
  // Completed before the cancel, but only stored when the whole phase finishes.
  EXPECT_EQ(cache().records().count("a.dat"), 0u);
}

TEST_F(PlayTest, FailedOrDamagedTransferKeepsThePreviousFile) {
  struct Case {
    const char* name;
    bool transfer_fails;
    std::vector<std::string> lines;
    std::string message;
  };
  const std::string expected = md5_hex("the real thing");
  const std::vector<Case> cases = {
      {"digest mismatch", false,
       {"play: file=%LOCAL%", "play: expected md5=" + expected + " got=" + md5_hex("garbage"),
        "play hint: файл повреждён при загрузке — попробуйте снова"},
       "Скачанный файл повреждён: data/game.img"},
      {"transfer failure", true,
       {"play: url=" + kFiles + "data/game.img", "play: dest=%LOCAL%", "play: reason: connection reset",
        "play hint: проверьте интернет-соединение; отключите VPN/прокси, если CDN блокируется"},
       "Не удалось скачать: data/game.img"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    put("data/game.img", "previous");
    http.set_get(kManifestUrl, manifest_of({entry("data/game.img", expected, 14)}));
    if (c.transfer_fails) {
      http.set_download(kFiles + "data/game.img", FakeHttpClient::Download{"partial", true, "connection reset"});
    } else {
      serve("data/game.img", "garbage");
    }
    LogCapture log;
    play(/*restore=*/true);
    EXPECT_EQ(read_text_file(game("data/game.img")), "previous");
    EXPECT_FALSE(std::filesystem::exists(game("data/game.img.part")));
    EXPECT_EQ(status().phase, CorePhase::Error);
    EXPECT_EQ(status().message, c.message);
    EXPECT_TRUE(log.has("ERROR: " + c.message));
    EXPECT_TRUE(platform.launches().empty());
    std::vector<std::string> wanted;
    for (std::string line : c.lines) {
      if (const std::size_t at = line.find("%LOCAL%"); at != std::string::npos) line.replace(at, 7, game("data/game.img"));
      wanted.push_back(line);
    }
    const int first = log.index_of(wanted[0]);
    ASSERT_GE(first, 0) << wanted[0];
    const std::vector<std::string> all = log.lines();
    for (std::size_t i = 0; i < wanted.size(); ++i) EXPECT_EQ(all.at(first + i), wanted[i]);
  }
}

TEST_F(PlayTest, DuplicatePathsAreFetchedTwiceAndShareOneRecord) {
  http.set_get(kManifestUrl, manifest_of({entry("dup.dat", md5_hex("dup"), 3), entry("dup.dat", md5_hex("dup"), 3)}));
  serve("dup.dat", "dup");
  LogCapture log;
  play();
  EXPECT_EQ(downloads(), (std::vector<std::string>{kFiles + "dup.dat", kFiles + "dup.dat"}));
  EXPECT_TRUE(log.has("play: 2 file(s) need download, 6 byte(s) total"));
  EXPECT_EQ(cache().records().size(), 1u);
  EXPECT_EQ(status().phase, CorePhase::Closing);
}

TEST_F(PlayTest, UnsafePathsAreNeverTouched) {
  write_text_file(dir.file("outside.txt"), "keep me");
  const std::vector<std::string> unsafe = {
      "../outside.txt", "..\\outside.txt", "sub/../../outside.txt", "sub\\..\\..\\outside.txt",
      "..", dir.file("outside.txt"), "\\\\server\\share\\x", "C:\\Windows\\x.dll", "c:x.dll"};
  std::vector<std::string> entries;
  for (const std::string& path : unsafe) {
    entries.push_back(entry(path, md5_hex("evil"), 4));
    serve(path, "evil");
  }
  entries.push_back(entry("..data/ok.dat", md5_hex("fine"), 4));
  entries.push_back(entry("./dots..x/ok2.dat", md5_hex("fine"), 4));
  serve("..data/ok.dat", "fine");
  serve("./dots..x/ok2.dat", "fine");
  http.set_get(kManifestUrl, manifest_of(entries));

  LogCapture log;
  play(/*restore=*/true);
  for (const std::string& path : unsafe) EXPECT_TRUE(log.has("play: skip unsafe path " + path)) << path;
  EXPECT_EQ(downloads(), (std::vector<std::string>{kFiles + "..data/ok.dat", kFiles + "./dots..x/ok2.dat"}));
  EXPECT_EQ(read_text_file(dir.file("outside.txt")), "keep me");
  EXPECT_EQ(read_text_file(game("..data/ok.dat")), "fine");
  EXPECT_TRUE(log.has("play: manifest 11 file(s), base_url=" + kNode + "/launcher/pc/files"));
  EXPECT_TRUE(log.has("play: 2 file(s) need download, 8 byte(s) total"));
  EXPECT_EQ(status().phase, CorePhase::Closing);
}

TEST_F(PlayTest, StatusSequenceSeenByTheUi) {
  ASSERT_TRUE(core.ensure_host());
  http.set_get(kManifestUrl, R"({"base_url":"https://files.test/pc/","files":[)" + entry("a.dat", "NONE", 100) + "," +
                                 entry("b.dat", "NONE", 100) + "," + entry("c.dat", "NONE") + "]}");
  http.set_download("https://files.test/pc/a.dat", std::string(100, 'a'));
  http.set_download("https://files.test/pc/b.dat", std::string(100, 'b'));
  put("c.dat", "present");
  const std::vector<CoreStatus> seen = statuses_during(core, [&] {
    core.request_play("Nick", server, false);
    std::promise<void> done;
    core.post_job([&] { done.set_value(); });
    done.get_future().wait();
  });

  struct Step {
    CorePhase phase;
    std::string message;
    std::string detail;
    float progress;
  };
  std::vector<Step> steps;
  for (const CoreStatus& s : seen) {
    const bool transfer_update = !steps.empty() && steps.back().phase == CorePhase::Downloading &&
                                 s.phase == CorePhase::Downloading && s.progress > steps.back().progress;
    if (!transfer_update) steps.push_back({s.phase, s.message, s.detail, s.progress});
    else steps.back().progress = s.progress;
  }
  const std::vector<std::pair<CorePhase, std::string>> expected = {
      {CorePhase::Checking, "Готовим запуск..."},   {CorePhase::Checking, "Проверяем файлы игры..."},
      {CorePhase::Checking, "Проверяем файлы..."},  {CorePhase::Checking, "Проверяем файлы..."},
      {CorePhase::Checking, "Проверяем файлы..."},  {CorePhase::Downloading, "Загружаем файлы..."},
      {CorePhase::Downloading, "Загружаем файлы..."}, {CorePhase::Finishing, "Запускаем игру..."},
      {CorePhase::Closing, "Приятной игры!"}};
  ASSERT_EQ(steps.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(steps[i].phase, expected[i].first);
    EXPECT_EQ(steps[i].message, expected[i].second);
  }
  EXPECT_EQ(steps[2].detail, "a.dat");
  EXPECT_EQ(steps[4].detail, "c.dat");
  EXPECT_FLOAT_EQ(seen[3].progress, 1.0f / 3.0f);
  // Each file starts at the bytes completed so far; the reporter never shows a full bar.
  EXPECT_EQ(steps[5].detail.rfind("0%  ·  0.0 / 0.0 МБ", 0), 0u) << steps[5].detail;
  EXPECT_FLOAT_EQ(steps[6].progress, 0.999f);
  for (const CoreStatus& s : seen) {
    if (s.phase == CorePhase::Downloading) {
      EXPECT_LE(s.progress, 0.999f);
    }
    EXPECT_EQ(s.busy, s.phase != CorePhase::Closing);
  }
  EXPECT_EQ(seen.back().phase, CorePhase::Closing);
}

TEST_F(PlayTest, ProgressByFileCountWithoutSizes) {
  ASSERT_TRUE(core.ensure_host());
  http.set_get(kManifestUrl, manifest_of({entry("a", "NONE"), entry("b", "NONE")}));
  serve("a", "aaaa");
  serve("b", "bbbb");
  const std::vector<CoreStatus> seen = statuses_during(core, [&] { play(); });
  std::vector<float> starts;
  for (const CoreStatus& s : seen) {
    if (s.phase != CorePhase::Downloading) continue;
    EXPECT_EQ(s.detail.find('%'), std::string::npos) << s.detail;
    starts.push_back(s.progress);
  }
  ASSERT_FALSE(starts.empty());
  EXPECT_FLOAT_EQ(starts.front(), 0.0f);
  EXPECT_FLOAT_EQ(starts.back(), 0.5f);
  EXPECT_TRUE(platform.disk_space_queries().empty());
}

TEST_F(PlayTest, CancelledWhileQueuedFetchesNothing) {
  core.cancel();
  play();
  EXPECT_EQ(status().phase, CorePhase::Idle);
  EXPECT_EQ(status().message, "Отменено");
  EXPECT_TRUE(http.calls().empty());
}

TEST_F(PlayTest, FolderThatCannotBePrepared) {
  http.set_get(kManifestUrl, manifest_of({entry("deep/x.dat", "NONE")}));
  serve("deep/x.dat", "x");
  platform.set_ensure_parent_dir_fails(true);
  LogCapture log;
  play();
  EXPECT_TRUE(log.has("play: cannot prepare directory for " + game("deep/x.dat")));
  EXPECT_EQ(status().phase, CorePhase::Error);
  EXPECT_EQ(status().message,
            "Не удалось подготовить каталог для: deep/x.dat (возможно, папка залита через adb — перезапустите лаунчер)");
  EXPECT_TRUE(downloads().empty());
}

TEST_F(PlayTest, GameStartFailure) {
  http.set_get(kManifestUrl, "[]");
  platform.set_launch_result(false, "exec failed: No such file or directory");
  LogCapture log;
  play();
  const std::vector<std::string> all = log.lines();
  const int first = log.index_of("play: launching game");
  ASSERT_GE(first, 0);
  const std::vector<std::string> expected = {
      "play: launching game",
      "launch fail: reason: exec failed: No such file or directory",
      "launch fail: game_dir=" + dir.file("game"),
      "launch fail hint: дождитесь завершения загрузки файлов и нажмите «Играть» снова",
      "launch fail hint: включите «Восстановить повреждённые файлы» в настройках лаунчера",
      "launch fail hint: проверьте, что папка игры существует и доступна для записи",
      "launch fail hint: на PC: убедитесь, что gta_sa.exe не удалён антивирусом",
      "launch fail hint: на Android: переустановите игру, если APK повреждён",
      "ERROR detail: exec failed: No such file or directory",
      "ERROR: Не удалось запустить игру.",
  };
  ASSERT_GE(all.size(), first + expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(all[first + i], expected[i]);
  EXPECT_EQ(status().phase, CorePhase::Error);
  EXPECT_TRUE(log.has("play: manifest 0 file(s), base_url=" + kNode + "/launcher/pc/files"));
}

class MoveTest : public PlayTest {};

TEST_F(MoveTest, PendingMoveOutcomes) {
  struct Case {
    const char* name;
    int result;
    std::string error;
    bool continues;
    CorePhase phase;
    std::string message;
    std::string detail;
    std::vector<std::string> lines;
  };
  const std::string failed = "Не удалось перенести файлы игры. Проверьте свободное место и разрешения.";
  const std::vector<Case> cases = {
      {"finished", 0, "", true, CorePhase::Closing, "Приятной игры!", "",
       {"play: move finished, game dir is now " + dir.file("game")}},
      {"cancelled", 1, "", false, CorePhase::Idle, "Отменено",
       "Перенос не завершён — он продолжится при следующем запуске",
       {"play: move cancelled, /old/games still holds part of the cache"}},
      {"failed without a reason", 2, "", false, CorePhase::Error, failed, "",
       {"play: move failed: ", "play hint: проверьте свободное место на устройстве",
        "play hint: и разрешение на доступ к файлам", "ERROR: " + failed}},
      {"failed with a reason", 5, "No space left on device", false, CorePhase::Error, failed, "",
       {"play: move failed: No space left on device", "play hint: проверьте свободное место на устройстве",
        "play hint: и разрешение на доступ к файлам", "ERROR detail: No space left on device", "ERROR: " + failed}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform os(dir.file("game"));
    FakeHttpClient client;
    LauncherCore local(client, os, CdnConfig{{kNode}, "https://geo.test/probe", ""});
    local.set_region("EU");
    client.set_head(kNode + "/launcher/ping.txt", true);
    client.set_get(kManifestUrl, "[]");
    os.set_pending_move(DataMovePlan{3, 3 * kGiB / 2, "/old/games", "/new/games"});
    os.set_move_script({{kGiB, 3 * kGiB / 2, "gta3.img"}}, c.result, c.error);
    LogCapture log;
    const std::vector<CoreStatus> seen =
        statuses_during(local, [&] { local.run_play("Nick", server, false); });

    EXPECT_TRUE(log.has("play: moving 3 file(s), 1.5 ГБ: /old/games -> /new/games"));
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0].phase, CorePhase::MovingFiles);
    EXPECT_EQ(seen[0].message, "Перемещаем файлы игры...");
    EXPECT_EQ(seen[0].detail, "Ничего не скачивается заново — файлы переезжают в новую папку");
    EXPECT_TRUE(seen[0].busy);
    EXPECT_EQ(seen[1].detail, "67%  ·  1.0 ГБ / 1.5 ГБ  ·  gta3.img");
    const CoreStatus st = local.snapshot();
    EXPECT_EQ(st.phase, c.phase);
    EXPECT_EQ(st.message, c.message);
    if (!c.detail.empty()) {
      EXPECT_EQ(st.detail, c.detail);
    }
    EXPECT_EQ(client.urls("GET").size(), c.continues ? 1u : 0u);
    const std::vector<std::string> all = log.lines();
    const int first = log.index_of(c.lines[0]);
    ASSERT_GE(first, 0);
    ASSERT_GE(all.size(), first + c.lines.size());
    for (std::size_t i = 0; i < c.lines.size(); ++i) EXPECT_EQ(all[first + i], c.lines[i]);
  }
}

TEST_F(MoveTest, CancelStopsTheMoveAtItsNextProgressCall) {
  platform.set_pending_move(DataMovePlan{2, 100, "/a", "/b"});
  platform.set_move_script({{10, 100, "x"}, {20, 100, "y"}}, 0);
  core.cancel();
  EXPECT_FALSE(core.run_pending_move());
  EXPECT_EQ(status().message, "Отменено");
  EXPECT_EQ(status().detail, "Перенос не завершён — он продолжится при следующем запуске");
}

TEST_F(MoveTest, NoPendingMoveLogsNothing) {
  LogCapture log;
  EXPECT_TRUE(core.run_pending_move());
  EXPECT_TRUE(log.lines().empty());
  EXPECT_EQ(platform.data_move_runs(), 0);
}

}  // namespace
}  // namespace zelvo::launcher
