#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "app/helpers.hpp"
#include "config/client_config.hpp"
#include "files/file_digest.hpp"
#include "config/launcher_settings.hpp"
#include "core/launcher_core.hpp"
#include "tests/ui/model_fixture.hpp"
#include "ui/launcher_vm.hpp"

namespace zelvo::launcher {
namespace {

constexpr std::int64_t kSlot = 3'000'000'000;

ServerEntry server(const std::string& id, bool enabled = true) {
  ServerEntry e;
  e.id = id;
  e.name = id;
  e.address = "10.0.0.1";
  e.enabled = enabled;
  e.online = enabled;
  return e;
}

// A model on a real core whose state the tests set through its public status
// operations.
class FrameSyncTest : public test::ModelFixture {
 protected:
  explicit FrameSyncTest(const std::string& node = "https://cdn-ru.test")
      : ModelFixture({node}) {}

  void sync(std::int64_t steady_ns = 0) { sync_frame(vm, steady_ns); }
  int marked(const std::string& name) const {
    return static_cast<int>(std::count(marks.begin(), marks.end(), name));
  }
};

TEST_F(FrameSyncTest, OverlayFollowsThePhase) {
  struct Case {
    CorePhase phase;
    bool overlay;
    bool cancel;
    bool splash;
  };
  const std::vector<Case> cases = {
      {CorePhase::Idle, false, false, false},
      {CorePhase::Connecting, false, false, false},
      {CorePhase::LoadingServers, false, false, false},
      {CorePhase::MovingFiles, false, false, false},
      {CorePhase::Checking, true, true, true},
      {CorePhase::Downloading, true, true, true},
      {CorePhase::Finishing, true, false, true},
      {CorePhase::Closing, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.phase));
    core.set_status(c.phase, "Сообщение", 0.25f, "детали");
    vm.splash.clear();
    sync(kSlot * 4);
    EXPECT_EQ(vm.overlay_visible, c.overlay);
    EXPECT_FALSE(vm.is_error);
    EXPECT_EQ(vm.can_cancel, c.cancel);
    EXPECT_EQ(vm.splash, c.splash ? "Расставляем фонари на Гроув-стрит..." : "");
    // Copied also while the overlay is hidden.
    EXPECT_EQ(vm.status_message, "Сообщение");
    EXPECT_EQ(vm.status_detail, "детали");
    EXPECT_EQ(vm.progress_width, "25%");
  }
}

TEST_F(FrameSyncTest, ErrorShowsUntilDismissedAndAgainAfterPlay) {
  core.fail("Что-то сломалось.");
  sync();
  EXPECT_TRUE(vm.overlay_visible);
  EXPECT_TRUE(vm.is_error);
  EXPECT_FALSE(vm.can_cancel);
  EXPECT_EQ(vm.status_message, "Что-то сломалось.");
  EXPECT_EQ(vm.host_label, "Не в сети");
  EXPECT_FALSE(vm.host_ok);
  EXPECT_TRUE(vm.host_bad);

  on_dismiss_error(vm);
  sync();
  EXPECT_FALSE(vm.overlay_visible);
  EXPECT_FALSE(vm.is_error);
  EXPECT_EQ(vm.host_label, "Не в сети");

  // Play clears the acknowledgement, so the next error shows again. The
  // worker waits at the gate so that error is the one the frame sees.
  vm.entries = {server("a")};
  rebuild_server_rows(vm);
  vm.game_dir = game_dir;
  vm.nickname = "Pavel_Zorin";
  test::Gate gate;
  core.post_job([&gate] { gate.wait(); });
  gate.wait_entered();
  on_play(vm);
  core.fail("Новая ошибка.");
  sync();
  gate.open();
  EXPECT_TRUE(vm.is_error);
  EXPECT_TRUE(vm.overlay_visible);
  EXPECT_EQ(vm.status_message, "Новая ошибка.");
}

TEST_F(FrameSyncTest, MissingNicknameOverlayOverridesTheCoreStatus) {
  vm.entries = {server("a")};
  rebuild_server_rows(vm);
  vm.game_dir = game_dir;
  on_play(vm);
  ASSERT_TRUE(vm.nick_missing);
  core.set_status(CorePhase::Idle, "Подключено через x", 1.0f, "деталь");
  sync();
  EXPECT_TRUE(vm.overlay_visible);
  EXPECT_TRUE(vm.is_error);
  EXPECT_FALSE(vm.can_cancel);
  EXPECT_EQ(vm.status_message, "Введите ник");
  EXPECT_EQ(vm.status_detail, "Формат: Ник_Фамилия, например Pavel_Zorin");

  on_dismiss_error(vm);
  sync();
  EXPECT_FALSE(vm.overlay_visible);
  EXPECT_EQ(vm.status_message, "Подключено через x");

  vm.nickname = "Pavel_Zorin";
  on_play(vm);
  sync();
  EXPECT_NE(vm.status_message, "Введите ник");
}

TEST_F(FrameSyncTest, ProgressWidthTruncatesInSinglePrecision) {
  struct Case {
    float progress;
    const char* width;
  };
  const std::vector<Case> cases = {
      {0.0f, "0%"},     {0.5f, "50%"}, {0.999f, "99%"},  {1.0f, "100%"},         {0.07f, "7%"},
      {-0.25f, "-25%"}, {NAN, "0%"},   {INFINITY, "0%"}, {1e12f, "1000000000%"},
  };
  for (const Case& c : cases) {
    core.set_status(CorePhase::Downloading, "m", c.progress, "");
    sync();
    EXPECT_EQ(vm.progress_width, c.width) << c.progress;
  }
}

TEST_F(FrameSyncTest, SplashFollowsTheClockSlots) {
  core.set_status(CorePhase::Downloading, "m", 0.1f, "");
  struct Case {
    std::int64_t t;
    const char* phrase;
  };
  const std::vector<Case> cases = {
      {0, "Заводим Сан-Андреас..."},
      {kSlot - 1, "Заводим Сан-Андреас..."},
      {kSlot, "Протираем пыль с текстур..."},
      {kSlot * 10 + 5, "Ищем чизбургеры в Cluckin' Bell..."},
      {kSlot * 14, "Почти готово, держись!"},
      {kSlot * 15, "Заводим Сан-Андреас..."},
      {kSlot * 15 * 1000 + kSlot * 2, "Подключаем нитро..."},
      {-1, "Заводим Сан-Андреас..."},
  };
  for (const Case& c : cases) {
    sync(c.t);
    EXPECT_EQ(vm.splash, c.phrase) << c.t;
  }
  // Without the busy overlay the last phrase stays.
  core.set_status(CorePhase::Idle, "m", 1.0f, "");
  sync(kSlot * 3);
  EXPECT_EQ(vm.splash, "Заводим Сан-Андреас...");
}

struct HostCase {
  std::string node;
  const char* label;
};

class HostLabelTest : public FrameSyncTest, public ::testing::WithParamInterface<HostCase> {
 protected:
  HostLabelTest() : FrameSyncTest(GetParam().node) {}
};

TEST_P(HostLabelTest, ConnectedShowsTheRegionOfTheNode) {
  sync();
  EXPECT_EQ(vm.host_label, "Подключение...");
  EXPECT_FALSE(vm.host_ok);
  EXPECT_FALSE(vm.host_bad);

  ASSERT_TRUE(core.select_host());
  sync();
  EXPECT_EQ(vm.host_label, GetParam().label);
  EXPECT_TRUE(vm.host_ok);
  EXPECT_FALSE(vm.host_bad);

  // A later error keeps the connected label while a host is selected.
  core.fail("Ошибка.");
  sync();
  EXPECT_EQ(vm.host_label, GetParam().label);
  EXPECT_TRUE(vm.host_ok);
}

INSTANTIATE_TEST_SUITE_P(Nodes, HostLabelTest,
                         ::testing::Values(HostCase{"https://cdn-ru.test", "Подключено (RU)"},
                                           HostCase{"https://cdn-eu.test", "Подключено (EU)"},
                                           HostCase{"https://mirror.test", "Подключено"}));

TEST_F(FrameSyncTest, ServerListArrivesWithPlaceholdersAndPlayButton) {
  sync();
  EXPECT_TRUE(vm.servers_loading);
  EXPECT_FALSE(vm.no_servers);
  EXPECT_FALSE(vm.can_play);

  core.store_servers({});
  marks.clear();
  sync();
  EXPECT_EQ(marked("servers"), 1);
  EXPECT_FALSE(vm.servers_loading);
  EXPECT_TRUE(vm.no_servers);

  core.store_servers({server("off", false), server("on")});
  sync();
  ASSERT_EQ(vm.servers.size(), 2u);
  EXPECT_EQ(vm.selected, 1);
  EXPECT_FALSE(vm.servers_loading);
  EXPECT_FALSE(vm.no_servers);
  EXPECT_TRUE(vm.can_play);

  // Taken once: the next frame keeps the rows and marks no new list.
  marks.clear();
  sync();
  EXPECT_EQ(marked("servers"), 0);
  EXPECT_EQ(vm.servers.size(), 2u);

  struct Case {
    CorePhase phase;
    int selected;
    bool can_play;
  };
  const std::vector<Case> cases = {
      {CorePhase::Idle, 1, true},
      {CorePhase::Connecting, 1, false},
      {CorePhase::LoadingServers, 1, false},
      {CorePhase::Downloading, 1, false},
      {CorePhase::Idle, 0, false},
      {CorePhase::Idle, -1, false},
      {CorePhase::Idle, 2, false},
  };
  for (const Case& c : cases) {
    core.set_status(c.phase, "m", 0.0f, "");
    vm.selected = c.selected;
    sync();
    EXPECT_EQ(vm.can_play, c.can_play) << static_cast<int>(c.phase) << " " << c.selected;
  }
}

TEST_F(FrameSyncTest, AnErrorBeforeTheListShowsTheEmptyPlaceholder) {
  core.fail("CDN недоступны.");
  sync();
  EXPECT_FALSE(vm.servers_loading);
  EXPECT_TRUE(vm.no_servers);
  core.set_status(CorePhase::Connecting, "m", 0.0f, "");
  sync();
  EXPECT_TRUE(vm.no_servers);
}

TEST_F(FrameSyncTest, TwoWayEditsAreSavedOnTheNextFrame) {
  sync();
  on_show_settings(vm);
  sync();
  EXPECT_FALSE(settings_written());

  vm.nickname = "Pavel";
  sync();
  EXPECT_EQ(saved().nickname, "Pavel");

  vm.restore_files = true;
  sync();
  EXPECT_TRUE(saved().restore_files);

  test::write_text_file(game_dir + "/client_config.json",
                        R"({"font": "verdana", "window": {"mode": "windowed"}})");
  vm.game_dir = game_dir;
  marks.clear();
  sync();
  EXPECT_EQ(saved().game_dir, game_dir);
  EXPECT_EQ(platform.game_dir(), game_dir);
  EXPECT_EQ(vm.font_sel, "verdana");
  EXPECT_EQ(vm.window_mode_sel, "windowed");
  EXPECT_GE(marked("font_sel"), 1);

  // Another game folder brings its own client configuration.
  const std::string other = dir.file("other");
  test::write_text_file(other + "/client_config.json",
                        R"({"font": "roboto", "window": {"mode": "borderless"}})");
  vm.game_dir = other;
  sync();
  EXPECT_EQ(vm.font_sel, "roboto");
  EXPECT_EQ(vm.window_mode_sel, "borderless");
  EXPECT_EQ(platform.game_dir(), other);
  EXPECT_EQ(saved().game_dir, other);
  // The save of that frame kept the folder's own values.
  std::string font;
  ASSERT_TRUE(ClientConfig::read_font(other, font));
  EXPECT_EQ(font, "roboto");
}

TEST_F(FrameSyncTest, TypingAFolderWritesNoClientConfigurationOnTheWay) {
  vm.font_sel = "tahoma";
  const std::string target = dir.file("games/ZelvoOnline");
  create_directories(dir.file("games"));
  for (std::size_t n = 1; n <= target.size(); ++n) {
    vm.game_dir = target.substr(0, n);
    sync();
  }
  EXPECT_EQ(saved().game_dir, target);
  EXPECT_FALSE(file_exists(dir.path() + "/client_config.json"));
  EXPECT_FALSE(file_exists(dir.file("games/client_config.json")));
  // A folder without its own configuration keeps the current choice, which
  // the next handler that persists writes there.
  EXPECT_EQ(vm.font_sel, "tahoma");
  create_directories(target);
  on_set_window_mode(vm, {"windowed"});
  std::string font;
  ASSERT_TRUE(ClientConfig::read_font(target, font));
  EXPECT_EQ(font, "tahoma");
}

TEST_F(FrameSyncTest, ClearedGameFolderIsSavedButNotHandedToThePlatform) {
  vm.game_dir = game_dir;
  sync();
  ASSERT_EQ(platform.game_dir(), game_dir);
  vm.font_sel = "arial";
  vm.game_dir.clear();
  sync();
  EXPECT_EQ(saved().game_dir, "");
  EXPECT_EQ(platform.game_dir(), game_dir);
  EXPECT_EQ(vm.font_sel, "arial");
}

TEST_F(FrameSyncTest, RejectedStoredFolderIsClearedOnTheFirstFrame) {
  LauncherSettings settings;
  settings.game_dir = "Z:\\Games\\ZelvoOnline";
  settings.nickname = "Pavel_Zorin";
  init_from_settings(vm, settings, vm.settings_path);
  EXPECT_TRUE(vm.need_install_dir);
  EXPECT_EQ(vm.region_sel, "auto");
  sync();
  EXPECT_TRUE(settings_written());
  EXPECT_EQ(saved().game_dir, "");
  EXPECT_EQ(saved().nickname, "Pavel_Zorin");
  EXPECT_EQ(platform.game_dir(), "");
  EXPECT_TRUE(vm.need_install_dir);
}

TEST_F(FrameSyncTest, ClosingRequestsQuit) {
  core.set_status(CorePhase::Downloading, "m", 0.5f, "");
  sync();
  EXPECT_FALSE(vm.quit_requested);
  core.set_status(CorePhase::Closing, "Запускаем игру...", 1.0f, "");
  sync();
  EXPECT_TRUE(vm.quit_requested);
  EXPECT_FALSE(vm.overlay_visible);
}

TEST_F(FrameSyncTest, LogStatusDisappearsAfter240Frames) {
  set_log_status(vm, "Скопировано в буфер обмена");
  for (int frame = 1; frame < 240; ++frame) sync();
  EXPECT_EQ(vm.log_status, "Скопировано в буфер обмена");
  marks.clear();
  sync();
  EXPECT_EQ(vm.log_status, "");
  EXPECT_EQ(marked("log_status"), 1);
  marks.clear();
  sync();
  EXPECT_EQ(marked("log_status"), 0);
}

TEST_F(FrameSyncTest, LogsRefreshEverySixtiethFrameInTheLogsView) {
  auto rebuilds_over = [this](int frames) {
    marks.clear();
    for (int i = 0; i < frames; ++i) sync();
    return marked("log_text");
  };
  EXPECT_EQ(rebuilds_over(100), 0);
  on_show_logs(vm);
  EXPECT_EQ(rebuilds_over(30), 1);  // the first frame in the view
  on_show_play(vm);
  EXPECT_EQ(rebuilds_over(50), 0);
  on_show_logs(vm);
  EXPECT_EQ(rebuilds_over(30), 0);  // frames 31 to 60 in the view
  EXPECT_EQ(rebuilds_over(1), 1);   // frame 61
  EXPECT_EQ(rebuilds_over(120), 2);
}

TEST_F(FrameSyncTest, EveryFrameMarksTheDerivedVariables) {
  sync();
  const std::vector<std::string> expected = {
      "show_settings",
      "show_logs",
      "selected",
      "have_servers",
      "servers_loading",
      "no_servers",
      "can_play",
      "play_label",
      "host_label",
      "host_ok",
      "host_bad",
      "overlay_visible",
      "is_error",
      "can_cancel",
      "status_message",
      "status_detail",
      "progress_width",
      "splash",
      "update_available",
      "update_version",
      "need_install_dir",
      "region_sel",
      "font_sel",
      "window_mode_sel",
      "show_server_settings",
  };
  EXPECT_EQ(marks, expected);
}

TEST(FrameSyncWithoutCore, ShowsTheIdleState) {
  LauncherVM vm;
  sync_frame(vm, 0);
  EXPECT_EQ(vm.host_label, "Подключение...");
  EXPECT_FALSE(vm.overlay_visible);
  EXPECT_TRUE(vm.servers_loading);
  EXPECT_FALSE(vm.can_play);
  EXPECT_EQ(vm.progress_width, "0%");
}

}  // namespace
}  // namespace zelvo::launcher
