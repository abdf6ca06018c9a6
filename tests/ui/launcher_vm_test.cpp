#include "ui/launcher_vm.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "app/helpers.hpp"
#include "app/log.hpp"
#include "config/client_config.hpp"
#include "config/launcher_settings.hpp"
#include "core/launcher_core.hpp"
#include "net/cdn_config.hpp"
#include "tests/support/fake_http_client.hpp"
#include "tests/support/fake_platform.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/ui/model_fixture.hpp"

namespace zelvo::launcher {
namespace {

using test::FakePlatform;

constexpr const char* kRuNode = "https://cdn-ru.test";
constexpr const char* kEuNode = "https://cdn-eu.test";

ServerEntry entry(const std::string& id, const std::string& name, const std::string& address,
                  int port, bool enabled = true, bool online = true) {
  ServerEntry e;
  e.id = id;
  e.name = name;
  e.address = address;
  e.port = port;
  e.enabled = enabled;
  e.online = enabled && online;
  return e;
}

CdnConfig test_cdn() { return test::cdn_with({kRuNode, kEuNode}); }

bool wait_until(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

class ModelTest : public test::ModelFixture {
 protected:
  ModelTest() : ModelFixture({kRuNode, kEuNode}) {}

  // Runs every job posted so far.
  void drain() {
    std::promise<void> done;
    core.post_job([&done] { done.set_value(); });
    done.get_future().wait();
  }

  bool marked(const std::string& name) const {
    return std::find(marks.begin(), marks.end(), name) != marks.end();
  }

  void use_servers(std::vector<ServerEntry> list) {
    vm.entries = std::move(list);
    rebuild_server_rows(vm);
  }
};

TEST_F(ModelTest, NavigationShowsExactlyOneView) {
  struct Step {
    void (*handler)(LauncherVM&);
    bool settings;
    bool logs;
  };
  const std::vector<Step> steps = {
      {on_show_settings, true, false}, {on_show_logs, false, true}, {on_show_settings, true, false},
      {on_show_play, false, false},    {on_show_logs, false, true}, {on_show_play, false, false},
  };
  for (const Step& step : steps) {
    step.handler(vm);
    EXPECT_EQ(vm.show_settings, step.settings);
    EXPECT_EQ(vm.show_logs, step.logs);
  }
  EXPECT_FALSE(settings_written());
}

TEST_F(ModelTest, LogTextHasHeaderHostAndRecentLines) {
  log_printf("ui test: marker line");
  on_show_logs(vm);
  const std::string header =
      "Zelvo Launcher v0.47 (pc)\nhost: (not connected)\n" + std::string(40, '-') + "\n";
  EXPECT_EQ(vm.log_text.substr(0, header.size()), header);
  EXPECT_NE(vm.log_text.find("ui test: marker line"), std::string::npos);
  EXPECT_TRUE(marked("log_text"));

  ASSERT_TRUE(core.select_host());
  on_refresh_logs(vm);
  EXPECT_EQ(vm.log_text.rfind("Zelvo Launcher v0.47 (pc)\nhost: https://cdn-ru.test\n---", 0), 0u);

  vm.core = nullptr;
  rebuild_log_text(vm);
  EXPECT_EQ(
      vm.log_text.rfind("Zelvo Launcher v0.47 (pc)\n----------------------------------------\n", 0),
      0u);
}

TEST_F(ModelTest, CopyAndShareLogsReportTheirResult) {
  struct Case {
    void (*handler)(LauncherVM&);
    bool ok;
    const char* status;
  };
  const std::vector<Case> cases = {
      {on_copy_logs, true, "Скопировано в буфер обмена"},
      {on_copy_logs, false, "Не удалось скопировать"},
      {on_share_logs, true, "Файл логов открыт в проводнике"},
      {on_share_logs, false, "Не удалось открыть файл"},
  };
  for (const Case& c : cases) {
    platform.set_clipboard_result(c.ok);
    platform.set_open_log_result(c.ok);
    marks.clear();
    vm.log_status_frames = 0;
    c.handler(vm);
    EXPECT_EQ(vm.log_status, c.status);
    EXPECT_EQ(vm.log_status_frames, 240);
    EXPECT_TRUE(marked("log_status"));
  }
  ASSERT_EQ(platform.clipboard_texts().size(), 2u);
  EXPECT_EQ(platform.clipboard_texts().back(), vm.log_text);
  EXPECT_EQ(platform.opened_logs().size(), 2u);

  vm.platform = nullptr;
  on_copy_logs(vm);
  EXPECT_EQ(vm.log_status, "Не удалось скопировать");
  on_share_logs(vm);
  EXPECT_EQ(vm.log_status, "Не удалось открыть файл");
}

TEST_F(ModelTest, SelectTakesOnlyEnabledRowsInRange) {
  use_servers({entry("a", "A", "10.0.0.1", 7777), entry("b", "B", "10.0.0.2", 7777, false),
               entry("c", "C", "10.0.0.3", 7777)});
  struct Case {
    std::vector<std::string> args;
    int expected;
  };
  const std::vector<Case> cases = {
      {{"2"}, 2},
      {{"1"}, 2},    // disabled row
      {{"abc"}, 0},  // not a number counts as row 0
      {{"3"}, 2},    // one past the end
      {{"-1"}, 2},
      {{"99999999999999999999"}, 2},  // beyond any int
      {{"4294967296"}, 2},            // would wrap to 0 as a 32-bit int
      {{}, 2},
      {{"2", "0"}, 2},  // only the first argument counts
  };
  for (const Case& c : cases) {
    vm.selected = 2;
    on_select(vm, c.args);
    EXPECT_EQ(vm.selected, c.expected) << (c.args.empty() ? "(none)" : c.args.front());
  }
}

TEST_F(ModelTest, ServerKeyPrefersIdThenAddressAndPort) {
  EXPECT_EQ(server_key(entry("main-1", "Main", "1.2.3.4", 7777)), "main-1");
  EXPECT_EQ(server_key(entry("", "Main", "1.2.3.4", 7777)), "1.2.3.4:7777");
  EXPECT_EQ(server_key(entry("", "Main", "h.test", -5)), "h.test:-5");
}

TEST_F(ModelTest, ServerRowsShowBadgesNamesAndOverrides) {
  ServerEntry full = entry("", "Full", "1.1.1.1", 7777);
  full.mode = "RP";
  full.players = 37;
  full.maxplayers = 1000;
  ServerEntry unnamed = entry("", "", "2.2.2.2", 7778);
  ServerEntry offline = entry("", "Off", "3.3.3.3", 7777, true, false);
  offline.maxplayers = 50;
  ServerEntry disabled = entry("x", "Dis", "4.4.4.4", 7777, false);
  vm.settings.server_nicknames = {{"1.1.1.1:7777", "Pavel_Zorin"}, {"x", "Other_Nick"}};
  use_servers({full, unnamed, offline, disabled});

  ASSERT_EQ(vm.servers.size(), 4u);
  EXPECT_TRUE(vm.have_servers);
  EXPECT_EQ(vm.servers[0].name, "Full");
  EXPECT_EQ(vm.servers[0].sub, "RP");
  EXPECT_EQ(vm.servers[0].players, "37/1000");
  EXPECT_EQ(vm.servers[0].nick, "Pavel_Zorin");
  EXPECT_EQ(vm.servers[1].name, "2.2.2.2");
  EXPECT_EQ(vm.servers[1].players, "");
  EXPECT_EQ(vm.servers[1].nick, "");
  EXPECT_EQ(vm.servers[2].players, "офлайн");
  EXPECT_EQ(vm.servers[3].players, "Выключен");
  EXPECT_FALSE(vm.servers[3].enabled);
  EXPECT_EQ(vm.servers[3].nick, "Other_Nick");
}

TEST_F(ModelTest, RebuildKeepsAValidSelectionAndRepairsOthers) {
  const std::vector<ServerEntry> list = {entry("a", "A", "1.1.1.1", 1, false),
                                         entry("b", "B", "1.1.1.2", 1),
                                         entry("c", "C", "1.1.1.3", 1)};
  struct Case {
    int before;
    int after;
  };
  for (const Case& c : std::vector<Case>{{-1, 1}, {0, 1}, {2, 2}, {3, 1}, {-7, 1}}) {
    vm.selected = c.before;
    use_servers(list);
    EXPECT_EQ(vm.selected, c.after) << c.before;
  }
  vm.selected = 2;
  use_servers({entry("a", "A", "1.1.1.1", 1, false)});
  EXPECT_EQ(vm.selected, -1);
  use_servers({});
  EXPECT_EQ(vm.selected, -1);
  EXPECT_FALSE(vm.have_servers);
}

TEST_F(ModelTest, PlayIgnoresAMissingOrDisabledSelection) {
  vm.game_dir = game_dir;
  vm.nickname = "Pavel_Zorin";
  use_servers({entry("a", "A", "1.1.1.1", 7777, false)});
  for (int selected : {-1, 0, 1, 5}) {
    vm.selected = selected;
    on_play(vm);
  }
  EXPECT_FALSE(vm.need_install_dir);
  EXPECT_FALSE(settings_written());
  EXPECT_FALSE(core.snapshot().busy);
}

TEST_F(ModelTest, PlayWithoutAUsableFolderAsksForOne) {
  use_servers({entry("a", "A", "1.1.1.1", 7777)});
  vm.nickname = "Pavel_Zorin";
  for (const std::string& folder : {std::string(), std::string("D:\\games\\ZelvoOnline")}) {
    vm.game_dir = folder;
    vm.need_install_dir = false;
    marks.clear();
    on_play(vm);
    EXPECT_TRUE(vm.need_install_dir) << folder;
    EXPECT_TRUE(marked("need_install_dir"));
  }
  EXPECT_FALSE(settings_written());
  EXPECT_FALSE(core.snapshot().busy);
}

TEST_F(ModelTest, PlayWithoutAnyNicknameFlagsItAndStartsNothing) {
  use_servers({entry("a", "A", "1.1.1.1", 7777)});
  vm.game_dir = game_dir;
  vm.settings.server_nicknames["a"] = "";
  vm.error_dismissed = true;
  on_play(vm);
  EXPECT_TRUE(vm.nick_missing);
  EXPECT_FALSE(vm.error_dismissed);
  EXPECT_FALSE(settings_written());
  EXPECT_FALSE(core.snapshot().busy);

  on_dismiss_error(vm);
  EXPECT_FALSE(vm.nick_missing);
  EXPECT_TRUE(vm.error_dismissed);
}

TEST_F(ModelTest, PlayStartsWithTheEffectiveNickname) {
  struct Case {
    std::string main;
    std::string override_nick;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"", "Ivan_Petrov", "Ivan_Petrov"},
      {"Pavel_Zorin", "", "Pavel_Zorin"},
      {"Pavel_Zorin", "Ivan_Petrov", "Ivan_Petrov"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    FakePlatform game_platform(game_dir);
    LauncherCore game_core(http, game_platform, test_cdn());
    ASSERT_TRUE(game_core.select_host());
    vm.core = &game_core;
    vm.platform = &game_platform;
    use_servers({entry("", "Off", "9.9.9.9", 1, false), entry("main", "Main", "1.2.3.4", 7777)});
    vm.selected = 1;
    vm.game_dir = game_dir;
    vm.nickname = c.main;
    vm.restore_files = true;
    vm.settings.server_nicknames.clear();
    if (!c.override_nick.empty()) vm.settings.server_nicknames["main"] = c.override_nick;
    vm.nick_missing = true;
    vm.error_dismissed = true;

    // The worker waits at the gate so the state request_play leaves is visible.
    test::Gate gate;
    game_core.post_job([&gate] { gate.wait(); });
    gate.wait_entered();
    on_play(vm);
    EXPECT_FALSE(vm.nick_missing);
    EXPECT_FALSE(vm.error_dismissed);
    const CoreStatus status = game_core.snapshot();
    EXPECT_EQ(status.phase, CorePhase::Checking);
    EXPECT_EQ(status.message, "Готовим запуск...");
    const LauncherSettings stored = saved();
    EXPECT_EQ(stored.nickname, c.main);
    EXPECT_EQ(stored.last_server, "1.2.3.4:7777");
    EXPECT_TRUE(stored.restore_files);
    gate.open();

    ASSERT_TRUE(wait_until([&] { return !game_platform.launches().empty(); }));
    const FakePlatform::Launch launch = game_platform.launches().front();
    EXPECT_EQ(launch.nickname, c.expected);
    EXPECT_EQ(launch.server.id, "main");
    EXPECT_EQ(launch.server.port, 7777);
    vm.core = &core;
    vm.platform = &platform;
  }
}

TEST_F(ModelTest, ServerSettingsDialogEditsTheOverride) {
  use_servers({entry("", "", "5.5.5.5", 7777, false), entry("", "Twin", "5.5.5.5", 7777),
               entry("id-3", "Third", "6.6.6.6", 7777)});
  vm.selected = 1;

  on_server_settings(vm, {"0"});  // a disabled row still opens its dialog
  EXPECT_TRUE(vm.show_server_settings);
  EXPECT_EQ(vm.ss_key, "5.5.5.5:7777");
  EXPECT_EQ(vm.ss_server_name, "5.5.5.5");
  EXPECT_EQ(vm.ss_nick, "");
  EXPECT_EQ(vm.selected, 1);
  for (const char* name : {"ss_server_name", "ss_nick", "show_server_settings"}) {
    EXPECT_TRUE(marked(name)) << name;
  }

  vm.ss_nick = "Pavel_Zorin";
  marks.clear();
  on_save_server_settings(vm);
  EXPECT_FALSE(vm.show_server_settings);
  EXPECT_TRUE(marked("servers"));
  EXPECT_TRUE(marked("show_server_settings"));
  // Two rows without an id on the same address and port share one override.
  EXPECT_EQ(vm.servers[0].nick, "Pavel_Zorin");
  EXPECT_EQ(vm.servers[1].nick, "Pavel_Zorin");
  EXPECT_EQ(vm.servers[2].nick, "");
  EXPECT_EQ(saved().server_nicknames.at("5.5.5.5:7777"), "Pavel_Zorin");

  on_server_settings(vm, {"1"});
  EXPECT_EQ(vm.ss_server_name, "Twin");
  EXPECT_EQ(vm.ss_nick, "Pavel_Zorin");
  vm.ss_nick = "Dropped_Edit";
  on_close_server_settings(vm);
  EXPECT_FALSE(vm.show_server_settings);
  EXPECT_EQ(vm.servers[1].nick, "Pavel_Zorin");

  on_server_settings(vm, {"1"});
  vm.ss_nick = "";
  on_save_server_settings(vm);
  EXPECT_EQ(vm.servers[0].nick, "");
  EXPECT_TRUE(saved().server_nicknames.empty());
}

TEST_F(ModelTest, ServerSettingsIgnoresRowsThatDoNotExist) {
  use_servers({entry("a", "A", "1.1.1.1", 7777)});
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"1"}, {"-1"}, {"99999999999"}}) {
    on_server_settings(vm, args);
    EXPECT_FALSE(vm.show_server_settings);
  }
  on_server_settings(vm, {"x"});
  EXPECT_EQ(vm.ss_key, "a");

  // Saving with no dialog key writes nothing.
  vm.ss_key.clear();
  vm.ss_nick = "Nick_Name";
  on_save_server_settings(vm);
  EXPECT_FALSE(settings_written());
  EXPECT_FALSE(vm.show_server_settings);
}

TEST_F(ModelTest, SetRegionStoresAndReselectsOnlyRealChanges) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"auto"}, {"RU"}, {"us"}, {""}}) {
    on_set_region(vm, args);
  }
  drain();
  EXPECT_EQ(vm.region_sel, "auto");
  EXPECT_FALSE(settings_written());
  EXPECT_TRUE(http.calls().empty());

  on_set_region(vm, {"eu"});
  drain();
  EXPECT_EQ(vm.region_sel, "eu");
  EXPECT_TRUE(marked("region_sel"));
  EXPECT_EQ(saved().region, "eu");
  // The forced region skips the geo probe and prefers the EU node.
  EXPECT_EQ(core.current_host(), kEuNode);
  EXPECT_TRUE(http.urls("HEAD") ==
              std::vector<std::string>{std::string(kEuNode) + "/launcher/ping.txt"});

  const std::size_t calls = http.calls().size();
  on_set_region(vm, {"eu"});
  drain();
  EXPECT_EQ(http.calls().size(), calls);

  on_set_region(vm, {"auto"});
  drain();
  EXPECT_EQ(vm.region_sel, "auto");
  EXPECT_EQ(saved().region, "");
  EXPECT_NE(test::read_text_file(vm.settings_path).find("\"region\": \"\""), std::string::npos);
  EXPECT_EQ(http.urls("HEAD").at(1), "https://geo.test/probe");
}

TEST_F(ModelTest, FontAndWindowModeGoToTheGameFolder) {
  vm.game_dir = game_dir;
  on_set_font(vm, {"arial"});
  EXPECT_EQ(vm.font_sel, "arial");
  EXPECT_TRUE(marked("font_sel"));
  on_set_window_mode(vm, {"borderless"});
  EXPECT_EQ(vm.window_mode_sel, "borderless");
  EXPECT_TRUE(marked("window_mode_sel"));

  std::string font;
  std::string mode;
  ASSERT_TRUE(ClientConfig::read_font(game_dir, font));
  ASSERT_TRUE(ClientConfig::read_window_mode(game_dir, mode));
  EXPECT_EQ(font, "arial");
  EXPECT_EQ(mode, "borderless");
  EXPECT_EQ(saved().window_mode, "borderless");
  EXPECT_EQ(saved().game_dir, game_dir);

  // The same value again changes nothing and writes nothing.
  std::remove(vm.settings_path.c_str());
  marks.clear();
  on_set_font(vm, {"arial"});
  on_set_window_mode(vm, {"borderless"});
  on_set_font(vm, {});
  EXPECT_FALSE(settings_written());
  EXPECT_TRUE(marks.empty());
}

TEST_F(ModelTest, WindowModeWithoutAGameFolderOnlyReachesTheSettings) {
  on_set_window_mode(vm, {"windowed"});
  EXPECT_EQ(saved().window_mode, "windowed");
  EXPECT_EQ(test::read_text_file(game_dir + "/client_config.json"), "");
}

TEST(NormalizeGameDir, AppendsTheInstallFolderOnce) {
  struct Case {
    const char* in;
    const char* out;
  };
  const std::vector<Case> cases = {
      {"D:\\games", "D:\\games/ZelvoOnline"},
      {"D:/games", "D:/games/ZelvoOnline"},
      {"D:\\games\\ZelvoOnline\\", "D:\\games\\ZelvoOnline"},
      {"D:/games/ZelvoOnline", "D:/games/ZelvoOnline"},
      {"D:\\", "D:/ZelvoOnline"},
      {"/home/u/games//", "/home/u/games/ZelvoOnline"},
      {"/home/u/zelvoonline", "/home/u/zelvoonline/ZelvoOnline"},
      {"/home/u/MyZelvoOnline", "/home/u/MyZelvoOnline/ZelvoOnline"},
      {"ZelvoOnline", "ZelvoOnline"},
      {"/", ""},
      {"\\/\\", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(normalize_game_dir(c.in), c.out) << c.in;
}

TEST_F(ModelTest, BrowseDirTakesThePickedFolder) {
  const std::string picked = dir.file("games");
  create_directories(picked + "/ZelvoOnline");
  vm.need_install_dir = true;
  platform.set_pick_folder_result(picked);
  on_browse_dir(vm);

  const std::string expected = picked + "/ZelvoOnline";
  EXPECT_EQ(vm.game_dir, expected);
  EXPECT_EQ(platform.game_dir(), expected);
  EXPECT_EQ(saved().game_dir, expected);
  EXPECT_FALSE(vm.need_install_dir);
  EXPECT_TRUE(marked("game_dir"));
  EXPECT_TRUE(marked("need_install_dir"));
  std::string mode;
  EXPECT_TRUE(ClientConfig::read_window_mode(expected, mode));
  EXPECT_NE(test::read_text_file(expected + "/client_config.json"), "");

  // Picking the install folder itself keeps it; the picker opens at the current folder.
  platform.set_pick_folder_result(expected + "/");
  on_browse_dir(vm);
  EXPECT_EQ(vm.game_dir, expected);
  EXPECT_EQ(platform.picked_initial_folders(), (std::vector<std::string>{"", expected}));
}

TEST_F(ModelTest, PickedInstallationKeepsItsOwnFontAndWindowMode) {
  const std::string installed = dir.file("installed/ZelvoOnline");
  test::write_text_file(installed + "/client_config.json",
                        R"({"font": "verdana", "window": {"mode": "windowed"}, "chat": 3})");
  const std::string fresh = dir.file("fresh/ZelvoOnline");
  create_directories(fresh);
  vm.font_sel = "arial";
  vm.window_mode_sel = "borderless";

  platform.set_pick_folder_result(installed);
  on_browse_dir(vm);
  EXPECT_EQ(vm.font_sel, "verdana");
  EXPECT_EQ(vm.window_mode_sel, "windowed");
  std::string font;
  ASSERT_TRUE(ClientConfig::read_font(installed, font));
  EXPECT_EQ(font, "verdana");
  EXPECT_NE(test::read_text_file(installed + "/client_config.json").find("\"chat\": 3"),
            std::string::npos);

  // A folder without a client configuration takes the current choice.
  platform.set_pick_folder_result(fresh);
  on_browse_dir(vm);
  EXPECT_EQ(vm.font_sel, "verdana");
  ASSERT_TRUE(ClientConfig::read_font(fresh, font));
  EXPECT_EQ(font, "verdana");
}

TEST_F(ModelTest, BrowseDirCancelledChangesNothing) {
  vm.need_install_dir = true;
  for (const char* answer : {"", "/"}) {
    platform.set_pick_folder_result(answer);
    on_browse_dir(vm);
    EXPECT_EQ(vm.game_dir, "");
    EXPECT_TRUE(vm.need_install_dir);
  }
  EXPECT_EQ(platform.game_dir(), "");
  EXPECT_FALSE(settings_written());
  EXPECT_TRUE(marks.empty());

  vm.platform = nullptr;
  on_browse_dir(vm);
  EXPECT_EQ(vm.game_dir, "");
}

TEST_F(ModelTest, SaveSettingsHandsTheFolderToThePlatform) {
  vm.show_settings = true;
  vm.game_dir = game_dir;
  vm.nickname = "Pavel_Zorin";
  on_save_settings(vm);
  EXPECT_FALSE(vm.show_settings);
  EXPECT_EQ(platform.game_dir(), game_dir);
  EXPECT_EQ(saved().nickname, "Pavel_Zorin");

  vm.game_dir.clear();
  on_save_settings(vm);
  EXPECT_EQ(platform.game_dir(), game_dir);
  EXPECT_EQ(saved().game_dir, "");
}

TEST_F(ModelTest, PersistKeepsLastServerWithoutASelection) {
  use_servers({entry("id", "A", "1.1.1.1", 7001)});
  vm.settings.last_server = "old:1";
  vm.selected = -1;
  persist_settings(vm);
  EXPECT_EQ(saved().last_server, "old:1");
  vm.selected = 0;
  persist_settings(vm);
  EXPECT_EQ(saved().last_server, "1.1.1.1:7001");
}

TEST_F(ModelTest, InitFromSettingsFillsTheModel) {
  test::write_text_file(game_dir + "/client_config.json",
                        R"({"font": "tahoma", "window": {"mode": "borderless"}})");
  struct Case {
    std::string stored_dir;
    std::string region;
    std::string window_mode;
    std::string game_dir;
    std::string region_sel;
    std::string window_mode_sel;
    std::string font_sel;
  };
  const std::vector<Case> cases = {
      {"Z:\\Games", "", "", "", "auto", "fullscreen", "default"},
      {"", "eu", "windowed", "", "eu", "windowed", "default"},
      {game_dir, "ru", "windowed", game_dir, "ru", "borderless", "tahoma"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored_dir);
    LauncherVM fresh;
    LauncherSettings settings;
    settings.nickname = "Pavel_Zorin";
    settings.game_dir = c.stored_dir;
    settings.region = c.region;
    settings.window_mode = c.window_mode;
    settings.restore_files = true;
    init_from_settings(fresh, settings, vm.settings_path);
    EXPECT_EQ(fresh.settings_path, vm.settings_path);
    EXPECT_EQ(fresh.settings.game_dir, c.stored_dir);
    EXPECT_EQ(fresh.nickname, "Pavel_Zorin");
    EXPECT_TRUE(fresh.restore_files);
    EXPECT_EQ(fresh.game_dir, c.game_dir);
    EXPECT_EQ(fresh.need_install_dir, c.game_dir.empty());
    EXPECT_EQ(fresh.region_sel, c.region_sel);
    EXPECT_EQ(fresh.window_mode_sel, c.window_mode_sel);
    EXPECT_EQ(fresh.font_sel, c.font_sel);
  }
}

TEST_F(ModelTest, CancelReachesTheCore) {
  on_cancel(vm);
  EXPECT_TRUE(core.is_cancelled());
}

}  // namespace
}  // namespace zelvo::launcher
