// The real launcher document in Qt's offscreen platform, on a real core with
// scripted HTTP and platform fakes. Clicks and keys are real input events on
// the window; screenshots of the views and overlays go to the build folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QImage>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "app/helpers.hpp"
#include "config/client_config.hpp"
#include "config/launcher_settings.hpp"
#include "core/launcher_core.hpp"
#include "net/cdn_config.hpp"
#include "tests/support/fake_http_client.hpp"
#include "tests/support/fake_platform.hpp"
#include "tests/support/temp_dir.hpp"
#include "ui/launcher_vm.hpp"
#include "ui/qt/desktop_services_qt.hpp"
#include "ui/qt/fonts.hpp"
#include "ui/qt/frame_loop.hpp"
#include "ui/qt/launcher_model.hpp"
#include "ui/qt/launcher_window.hpp"

namespace zelvo::launcher {
namespace {

using test::FakeHttpClient;
using test::FakePlatform;
using test::Gate;
using test::TempDir;

constexpr const char* kRu = "https://cdn-ru.test";
constexpr const char* kEu = "https://cdn-eu.test";
constexpr const char* kServers = R"({"servers": [
  {"id": "main", "name": "Zelvo RP", "address": "10.0.0.1", "port": 7777, "mode": "RolePlay",
   "players": 37, "maxplayers": 1000, "enabled": true, "online": true},
  {"name": "Closed", "address": "10.0.0.2", "port": 7777, "enabled": false},
  {"name": "", "address": "10.0.0.3", "port": 7778, "enabled": true, "online": false}
]})";

void ensure_application() {
  if (QCoreApplication::instance()) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_QUICK_BACKEND", "software");
  static int argc = 1;
  static char name[] = "ui_window_test";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
  ASSERT_TRUE(load_fonts());
}

void collect(QQuickItem* item, const QString& name, std::vector<QQuickItem*>& out) {
  if (item->objectName() == name) out.push_back(item);
  for (QQuickItem* child : item->childItems()) collect(child, name, out);
}

bool shown(const QQuickItem* item) {
  for (; item; item = item->parentItem()) {
    if (!item->isVisible()) return false;
  }
  return true;
}

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ensure_application(); }

  WindowTest() {
    create_directories(game_dir);
    http.set_head("https://geo.test/probe", false);
    http.set_head(std::string(kRu) + "/launcher/ping.txt", true);
    http.set_head(std::string(kEu) + "/launcher/ping.txt", true);
    http.set_get(std::string(kRu) + "/launcher/online.php", kServers);
    http.set_get(std::string(kEu) + "/launcher/online.php", kServers);
  }

  ~WindowTest() override {
    if (core) core->cancel();
    loop.reset();
    window.reset();
    core.reset();
    model.reset();
  }

  // Start-up as the launcher does it, up to the first list of servers.
  void start(LauncherSettings settings, bool wait_for_servers = true) {
    CdnConfig cdn;
    cdn.nodes = {kRu, kEu};
    cdn.geo_probe = "https://geo.test/probe";
    init_from_settings(vm, std::move(settings), dir.file("launcher.json"));
    core = std::make_unique<LauncherCore>(http, platform, cdn);
    vm.core = core.get();
    vm.platform = &platform;
    model = std::make_unique<LauncherModel>(vm);
    window = std::make_unique<LauncherWindow>(*model);
    ASSERT_TRUE(window->open());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window->window()));
    loop = std::make_unique<FrameLoop>(*model, *window->window(), [this] { return clock_ns; });
    core->set_change_listener(loop->waker());
    core->set_region(vm.settings.region);
    core->start();
    if (wait_for_servers) frames_until([this] { return vm.have_servers && vm.can_play; });
  }

  LauncherSettings with_game_and_nick(const std::string& nick = "Pavel_Zorin") {
    LauncherSettings s;
    s.game_dir = game_dir;
    s.nickname = nick;
    return s;
  }

  void frame() {
    QCoreApplication::processEvents();
    loop->frame();
    QCoreApplication::processEvents();
  }

  // Frames (with the worker's time to act) until done() or five seconds pass.
  void frames_until(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    frame();
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      frame();
    }
    ASSERT_TRUE(done());
  }

  // The shown item of that name (names may repeat, as the two placeholders do).
  QQuickItem* item(const QString& name) {
    std::vector<QQuickItem*> all;
    collect(window->root(), name, all);
    for (QQuickItem* it : all) {
      if (shown(it)) return it;
    }
    return all.empty() ? nullptr : all.front();
  }
  bool visible(const QString& name) {
    QQuickItem* it = item(name);
    return it && shown(it);
  }
  QPoint centre(const QString& name) {
    QQuickItem* it = item(name);
    EXPECT_TRUE(it) << name.toStdString();
    if (!it) return {};
    return it->mapToScene(QPointF(it->width() / 2, it->height() / 2)).toPoint();
  }
  void click(const QString& name) {
    ASSERT_TRUE(visible(name)) << name.toStdString();
    QTest::mouseClick(window->window(), Qt::LeftButton, {}, centre(name));
    frame();
  }
  void type_into(const QString& field, const QString& text) {
    click(field);
    QTest::keyClick(window->window(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(window->window(), Qt::Key_Backspace);
    for (const QChar ch : text) QTest::keyClick(window->window(), ch.toLatin1());
  }
  QString text_of(const QString& name) {
    QQuickItem* it = item(name);
    return it ? it->property("text").toString() : QString();
  }

  QImage grab(const char* screenshot) {
    QImage image = window->window()->grabWindow();
    QString folder = qEnvironmentVariable("ZELVO_SCREENSHOT_DIR");
    if (folder.isEmpty()) folder = ZELVO_SCREENSHOT_DEFAULT_DIR;
    QDir().mkpath(folder);
    image.save(folder + "/" + screenshot + ".png");
    return image;
  }
  // Colour at a point inside an item (offset from its top-left corner).
  QColor pixel(const QImage& image, const QString& name, QPointF offset) {
    QQuickItem* it = item(name);
    if (!it) return {};
    const QPointF p = it->mapToScene(offset) * window->window()->devicePixelRatio();
    return image.pixelColor(p.toPoint());
  }

  LauncherSettings saved() { return LauncherSettings::load(dir.file("launcher.json")); }

  TempDir dir;
  const std::string game_dir = dir.file("games/ZelvoOnline");
  FakeHttpClient http;
  FakePlatform platform;
  std::unique_ptr<LauncherCore> core;
  LauncherVM vm;
  std::unique_ptr<LauncherModel> model;
  std::unique_ptr<LauncherWindow> window;
  std::unique_ptr<FrameLoop> loop;
  std::int64_t clock_ns = 0;
};

// The adapter alone: what QML is told, and when.
TEST(LauncherModelTest, NotifiesOnlyValuesThatChanged) {
  LauncherVM vm;
  LauncherModel model(vm);
  QSignalSpy label(&model, &LauncherModel::host_label_changed);
  QSignalSpy selected(&model, &LauncherModel::selected_changed);

  vm.host_label = "Подключение...";
  vm.dirty("host_label");
  vm.dirty("host_label");
  vm.dirty("selected");
  EXPECT_EQ(label.count(), 1);
  EXPECT_EQ(selected.count(), 0);
  EXPECT_EQ(model.host_label(), "Подключение...");

  vm.host_label = "Подключено (RU)";
  EXPECT_EQ(model.host_label(), "Подключение...") << "published on the dirty mark only";
  vm.dirty("host_label");
  EXPECT_EQ(model.host_label(), "Подключено (RU)");
}

TEST(LauncherModelTest, TwoWayWritesReachTheRecordWithoutEchoes) {
  LauncherVM vm;
  LauncherModel model(vm);
  QSignalSpy nickname(&model, &LauncherModel::nickname_changed);
  QSignalSpy frames(&model, &LauncherModel::frame_wanted);
  model.set_nickname("Pavel_Zorin");
  model.set_restore_files(true);
  EXPECT_EQ(vm.nickname, "Pavel_Zorin");
  EXPECT_TRUE(vm.restore_files);
  EXPECT_EQ(nickname.count(), 1);
  vm.dirty("nickname");
  EXPECT_EQ(nickname.count(), 1);
  EXPECT_EQ(frames.count(), 2) << "an edit asks for the frame that saves it";
}

TEST(LauncherModelTest, ServerRowsAnnounceOnlyWhatChanged) {
  LauncherVM vm;
  LauncherModel model(vm);
  QAbstractListModel* rows = model.servers();
  QSignalSpy reset(rows, &QAbstractListModel::modelReset);
  QSignalSpy changed(rows, &QAbstractListModel::dataChanged);

  vm.servers = {ServerVM{"A", "RP", "1/10", "", true}, ServerVM{"B", "", "Выключен", "", false}};
  vm.dirty("servers");
  EXPECT_EQ(reset.count(), 1);
  ASSERT_EQ(rows->rowCount(), 2);
  EXPECT_EQ(rows->data(rows->index(1), ServerListModel::PlayersRole).toString(), "Выключен");
  EXPECT_FALSE(rows->data(rows->index(1), ServerListModel::EnabledRole).toBool());

  vm.servers[1].nick = "Ivan";
  vm.dirty("servers");
  vm.dirty("servers");
  EXPECT_EQ(reset.count(), 1);
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>().row(), 1);
  EXPECT_EQ(rows->data(rows->index(1), ServerListModel::NickRole).toString(), "Ivan");
}

TEST_F(WindowTest, DocumentComesFromMemoryAndNamesTheModel) {
  start(with_game_and_nick());
  const QQmlContext* context = qmlContext(window->root());
  ASSERT_TRUE(context);
  EXPECT_EQ(context->baseUrl(), QUrl("[document from memory]"));
  EXPECT_EQ(window->root()->property("launcher").value<QObject*>(), model.get());
  EXPECT_EQ(window->window()->title(), "Zelvo Launcher");
  EXPECT_EQ(window->window()->size(), QSize(980, 640));
  EXPECT_FALSE(window->window()->icon().isNull());
}

// Every id of the launcher's document is an item's objectName, once; the two
// list placeholders share theirs.
TEST_F(WindowTest, DocumentCarriesEveryId) {
  start(with_game_and_nick(), false);
  const char* const ids[] = {
      "bg", "app", "sidebar", "logo", "side-spacer", "updatebox", "update-note", "update-btn",
      "sidebottom", "hoststatus", "hostdot", "version", "main", "topbar", "nickbox",
      "servers-head", "serverlist", "empty", "play", "browse-btn", "logbox", "logscroll",
      "logtext", "logactions", "logstatus", "overlay", "ov-title", "ov-detail", "bar-track",
      "bar-fill", "ov-splash", "ov-cancel", "ov-close", "dirmask", "dircard", "dir-title",
      "dir-text", "dir-actions", "dir-choose", "permmask", "permcard", "perm-title", "perm-text",
      "perm-actions", "perm-grant", "perm-later", "batterymask", "batterycard", "battery-title",
      "battery-text", "battery-actions", "battery-grant", "battery-later", "batterywarnmask",
      "batterywarncard", "batterywarn-title", "batterywarn-text", "batterywarn-actions",
      "batterywarn-grant", "batterywarn-ok", "ssmask", "sscard", "ss-title", "ss-actions",
  };
  for (const char* id : ids) {
    std::vector<QQuickItem*> found;
    collect(window->root(), id, found);
    EXPECT_EQ(found.size(), std::string(id) == "empty" ? 2u : 1u) << id;
  }
}

// The Qt desktop services answer the platform's requests.
class DesktopServicesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ensure_application(); }
  QtDesktopServices services;
  TempDir dir;
};

TEST_F(DesktopServicesTest, FolderPickerOpensAtTheFolderWithItsTitle) {
  create_directories(dir.file("games/inner"));
  QString title;
  QString opened_at;
  bool answered = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    title = dialog->windowTitle();
    opened_at = dialog->directory().absolutePath();
    dialog->selectFile(QString::fromStdString(dir.file("games/inner")));
    static_cast<QDialog*>(dialog)->accept();
    answered = true;
  });
  const std::string chosen =
      services.pick_folder("Куда установить Zelvo Online?", dir.file("games"));
  ASSERT_TRUE(answered);
  EXPECT_EQ(title, "Куда установить Zelvo Online?");
  EXPECT_EQ(opened_at.toStdString(), dir.file("games"));
  EXPECT_EQ(chosen, dir.file("games/inner"));

  QTimer::singleShot(0, [] {
    if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
  });
  EXPECT_EQ(services.pick_folder("Куда установить Zelvo Online?", dir.file("games")), "");
}

TEST_F(DesktopServicesTest, ClipboardAndMissingLogFile) {
  EXPECT_TRUE(services.copy_text("строка лога\n"));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "строка лога\n");
  EXPECT_FALSE(services.show_file(dir.file("no-such.log")));
}

TEST_F(WindowTest, NavigationSwitchesTheViews) {
  start(with_game_and_nick());
  EXPECT_TRUE(visible("view-play"));
  EXPECT_FALSE(visible("view-settings"));
  EXPECT_EQ(pixel(grab("main-view"), "nav-play", {4, 4}), QColor("#18352b"));

  struct Case {
    const char* nav;
    const char* view;
    const char* screenshot;
  };
  for (const Case& c :
       {Case{"nav-settings", "view-settings", "settings-view"},
        Case{"nav-logs", "view-logs", "logs-view"}, Case{"nav-play", "view-play", "main-view"}}) {
    click(c.nav);
    for (const char* view : {"view-play", "view-settings", "view-logs"}) {
      EXPECT_EQ(visible(view), std::string(view) == c.view) << c.nav << " " << view;
    }
    const QImage image = grab(c.screenshot);
    EXPECT_EQ(pixel(image, c.nav, {4, 4}), QColor("#18352b")) << c.nav;
  }
  click("nav-logs");
  EXPECT_TRUE(
      text_of("logtext").startsWith("Zelvo Launcher v0.47 (pc)\nhost: https://cdn-ru.test\n"));
  EXPECT_TRUE(loop->animating()) << "the logs view refreshes itself";
}

TEST_F(WindowTest, LogStatusShowsForTwoHundredFortyFrames) {
  start(with_game_and_nick());
  click("nav-logs");
  click("copy-logs");
  ASSERT_EQ(platform.clipboard_texts().size(), 1u);
  EXPECT_EQ(platform.clipboard_texts()[0], vm.log_text);
  EXPECT_EQ(text_of("logstatus"), "Скопировано в буфер обмена");
  click("nav-play");
  EXPECT_TRUE(loop->animating()) << "the status timer counts frames at the display rate";
  // Frame counting itself belongs to the model's tests; here the timer ends
  // within its 240 frames and the loop goes back to waiting.
  for (int i = 0; i < 240 && !vm.log_status.empty(); ++i) loop->frame();
  EXPECT_TRUE(vm.log_status.empty());
  EXPECT_FALSE(loop->animating());

  platform.set_clipboard_result(false);
  click("nav-logs");
  click("copy-logs");
  EXPECT_EQ(text_of("logstatus"), "Не удалось скопировать");
}

TEST_F(WindowTest, RowsSelectOnlyWhenEnabledAndGearsOpenTheirDialog) {
  start(with_game_and_nick());
  EXPECT_EQ(vm.selected, 0);
  EXPECT_EQ(text_of("sname"), "Zelvo RP");

  click("server-2");
  EXPECT_EQ(vm.selected, 2);
  click("server-1");
  EXPECT_EQ(vm.selected, 2) << "a disabled row cannot be selected";

  click("gear-1");
  EXPECT_EQ(vm.selected, 2);
  ASSERT_TRUE(visible("ssmask"));
  EXPECT_EQ(text_of("ss-title"), "Настройки Closed");
  click("ss-cancel");
  EXPECT_FALSE(visible("ssmask"));

  click("gear-0");
  EXPECT_EQ(vm.selected, 0) << "the row under the gear is selected after its dialog opened";
  EXPECT_EQ(text_of("ss-title"), "Настройки Zelvo RP");
}

TEST_F(WindowTest, PlayButtonIsGreenWhenPlayableAndGreyWhileBusy) {
  Gate gate;
  http.set_hook([&gate](const FakeHttpClient::Call& call) {
    if (call.url.find("online.php") != std::string::npos) gate.wait();
  });
  start(with_game_and_nick(), false);
  frames_until([&] { return gate.entered(); });
  frame();
  EXPECT_FALSE(vm.can_play);
  EXPECT_TRUE(visible("empty"));
  EXPECT_EQ(text_of("empty"), "Загружаем список серверов...");
  EXPECT_EQ(pixel(grab("loading-servers"), "play", {6, 6}), QColor("#233042"));

  gate.open();
  frames_until([&] { return vm.can_play; });
  EXPECT_FALSE(visible("empty"));
  EXPECT_EQ(pixel(grab("main-view"), "play", {6, 6}), QColor("#4be3a7"));
}

TEST_F(WindowTest, PlayWithoutGameFolderAsksForOne) {
  start(LauncherSettings{});
  EXPECT_TRUE(visible("dirmask")) << "first run";
  grab("choose-folder");
  platform.set_pick_folder_result(dir.file("games"));
  click("dir-choose");
  EXPECT_FALSE(visible("dirmask"));
  EXPECT_EQ(saved().game_dir, game_dir);

  click("nav-settings");
  type_into("game-dir", "");
  click("nav-play");
  click("play");
  EXPECT_TRUE(visible("dirmask"));
  EXPECT_TRUE(platform.launches().empty());
}

TEST_F(WindowTest, PickedFolderReplacesTheTypedOneInTheBox) {
  start(with_game_and_nick());
  click("nav-settings");
  type_into("game-dir", "/tmp/typed");
  frame();
  EXPECT_EQ(saved().game_dir, "/tmp/typed");
  create_directories(dir.file("picked"));
  platform.set_pick_folder_result(dir.file("picked"));
  click("browse-btn");
  const QString picked = QString::fromStdString(dir.file("picked/ZelvoOnline"));
  EXPECT_EQ(item("game-dir")->property("input").value<QObject*>()->property("text").toString(),
            picked)
      << "the box follows the model after the user typed in it";
  EXPECT_EQ(saved().game_dir, picked.toStdString());
}

TEST_F(WindowTest, KeysDoNotReachABoxOfAHiddenView) {
  start(with_game_and_nick("Pavel"));
  struct Case {
    const char* box;
    const char* leave;  // what hides the box's view or dialog
  };
  for (const Case& c : {Case{"nick", "nav-settings"}, Case{"game-dir", "nav-logs"}}) {
    SCOPED_TRACE(c.box);
    if (!visible(c.box)) click("nav-settings");
    click(c.box);
    click(c.leave);
    QTest::keyClick(window->window(), Qt::Key_X);
    frame();
    click("nav-play");
  }
  click("gear-0");
  click("ss-nick");
  click("ss-cancel");
  QTest::keyClick(window->window(), Qt::Key_X);
  EXPECT_EQ(vm.nickname, "Pavel");
  EXPECT_EQ(vm.game_dir, game_dir);
  EXPECT_EQ(vm.ss_nick, "");
}

TEST_F(WindowTest, PlayWithoutNicknameShowsTheHintUntilOk) {
  start(with_game_and_nick(""));
  click("play");
  ASSERT_TRUE(visible("overlay"));
  EXPECT_EQ(text_of("ov-title"), "Введите ник");
  EXPECT_EQ(text_of("ov-detail"), "Формат: Ник_Фамилия, например Pavel_Zorin");
  EXPECT_TRUE(visible("ov-close"));
  EXPECT_FALSE(visible("bar-track"));
  EXPECT_FALSE(visible("ov-cancel"));
  const QImage image = grab("error-overlay");
  EXPECT_EQ(pixel(image, "ov-close", {4, 4}), QColor("#4be3a7"));

  click("ov-close");
  EXPECT_FALSE(visible("overlay"));
  EXPECT_TRUE(platform.launches().empty());
}

TEST_F(WindowTest, ServerNicknameIsSavedAndRemoved) {
  start(with_game_and_nick());
  click("gear-0");
  type_into("ss-nick", "Ivan_Petrov");
  click("ss-save");
  EXPECT_FALSE(visible("ssmask"));
  EXPECT_EQ(saved().server_nicknames["main"], "Ivan_Petrov");
  EXPECT_EQ(text_of("snick"), "(Ivan_Petrov)");
  EXPECT_TRUE(visible("snick"));

  click("gear-0");
  EXPECT_EQ(item("ss-nick")->property("value").toString(), "Ivan_Petrov");
  type_into("ss-nick", "");
  click("ss-save");
  EXPECT_EQ(saved().server_nicknames.count("main"), 0u);
  EXPECT_FALSE(visible("snick"));
}

TEST_F(WindowTest, RegionChoiceIsSavedAndReselectsTheHost) {
  start(with_game_and_nick());
  EXPECT_EQ(text_of("host-label"), "Подключено (RU)");
  EXPECT_EQ(pixel(grab("main-view"), "hostdot", {4.5, 4.5}), QColor("#4be3a7"));
  click("nav-settings");
  click("region-eu");
  EXPECT_EQ(saved().region, "eu");
  frames_until([&] { return text_of("host-label") == "Подключено (EU)"; });
  EXPECT_EQ(pixel(grab("settings-region-eu"), "region-eu", {4, 20}), QColor("#18352b"));

  click("region-auto");
  EXPECT_EQ(saved().region, "");
}

TEST_F(WindowTest, FontAndWindowModeButtonsWriteTheClientConfiguration) {
  start(with_game_and_nick());
  click("nav-settings");
  click("font-arial");
  click("wm-windowed");
  std::string font;
  std::string mode;
  ASSERT_TRUE(ClientConfig::read_font(game_dir, font));
  ASSERT_TRUE(ClientConfig::read_window_mode(game_dir, mode));
  EXPECT_EQ(font, "arial");
  EXPECT_EQ(mode, "windowed");
  EXPECT_EQ(saved().window_mode, "windowed");
}

TEST_F(WindowTest, TypedNicknameAndRestoreOptionAreSavedOnTheNextFrame) {
  start(with_game_and_nick(""));
  type_into("nick", "Pavel_Zorin");
  frame();
  EXPECT_EQ(saved().nickname, "Pavel_Zorin");

  click("nav-settings");
  // The last setting lies below the fold of a 640 high window.
  QQuickItem* settings = item("view-settings");
  settings->setProperty("contentY",
                        settings->property("contentHeight").toReal() - settings->height());
  click("restore-files");
  frame();
  EXPECT_TRUE(saved().restore_files);
  EXPECT_TRUE(visible("tick"));
  EXPECT_EQ(pixel(grab("settings-restore-checked"), "cbox", {4, 12}), QColor("#4be3a7"));
}

TEST_F(WindowTest, OverlayFollowsThePhase) {
  start(with_game_and_nick());
  struct Case {
    CorePhase phase;
    float progress;
    bool overlay;
    bool bar;
    bool cancel;
    bool ok;
    double fill;  // of 460
    const char* screenshot;
  };
  const Case cases[] = {
      {CorePhase::Checking, 0.25f, true, true, true, false, 115, nullptr},
      {CorePhase::Downloading, 0.5f, true, true, true, false, 230, "progress-overlay"},
      {CorePhase::Downloading, 0.999f, true, true, true, false, 455.4, nullptr},
      {CorePhase::Finishing, 1.0f, true, true, false, false, 460, nullptr},
      {CorePhase::Error, 0.0f, true, false, false, true, 0, "core-error-overlay"},
      {CorePhase::LoadingServers, 0.0f, false, false, false, false, 0, nullptr},
      {CorePhase::Idle, 0.0f, false, false, false, false, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.phase));
    core->set_status(c.phase, "Скачиваем файлы...", c.progress, "12.0 МБ из 24.0 МБ");
    frame();
    EXPECT_EQ(visible("overlay"), c.overlay);
    EXPECT_EQ(visible("bar-track"), c.bar);
    EXPECT_EQ(visible("ov-cancel"), c.cancel);
    EXPECT_EQ(visible("ov-close"), c.ok);
    if (c.bar) {
      EXPECT_NEAR(item("bar-fill")->width(), c.fill, 0.01);
    }
    if (c.overlay) {
      EXPECT_EQ(text_of("ov-detail"), "12.0 МБ из 24.0 МБ");
    }
    EXPECT_EQ(loop->animating(), c.overlay && !c.ok) << "display rate while busy";
    if (c.screenshot) grab(c.screenshot);
  }
}

TEST_F(WindowTest, SplashFollowsTheThreeSecondSlotsAndCancelReachesTheCore) {
  start(with_game_and_nick());
  core->set_status(CorePhase::Downloading, "Скачиваем файлы...", 0.1f, "");
  clock_ns = 0;
  frame();
  EXPECT_EQ(text_of("ov-splash"), "Заводим Сан-Андреас...");
  clock_ns = 2'999'999'999;
  frame();
  EXPECT_EQ(text_of("ov-splash"), "Заводим Сан-Андреас...");
  clock_ns = 3'000'000'000;
  frame();
  EXPECT_EQ(text_of("ov-splash"), "Протираем пыль с текстур...");

  click("ov-cancel");
  EXPECT_TRUE(core->is_cancelled());
}

TEST_F(WindowTest, HostLabelWhileConnectingAndOffline) {
  http.set_head(std::string(kRu) + "/launcher/ping.txt", false);
  http.set_head(std::string(kEu) + "/launcher/ping.txt", false);
  Gate gate;
  http.set_hook([&gate](const FakeHttpClient::Call& call) {
    if (call.method == "HEAD") gate.wait();
  });
  start(with_game_and_nick(), false);
  frames_until([&] { return gate.entered(); });
  frame();
  EXPECT_EQ(text_of("host-label"), "Подключение...");
  EXPECT_EQ(pixel(grab("host"), "hostdot", {4.5, 4.5}), QColor("#f0b132"));

  gate.open();
  frames_until([&] { return vm.host_bad; });
  EXPECT_EQ(text_of("host-label"), "Не в сети");
  EXPECT_EQ(text_of("empty"), "Серверов пока нет.");
  click("ov-close");
  EXPECT_EQ(pixel(grab("offline"), "hostdot", {4.5, 4.5}), QColor("#e25563"));
}

TEST_F(WindowTest, ClosingPhaseEndsTheLoop) {
  start(with_game_and_nick());
  QTimer watchdog;
  bool timed_out = false;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    timed_out = true;
    window->window()->close();
  });
  // The core reports Closing from its worker, as a started game does.
  core->post_job([c = core.get()] { c->set_status(CorePhase::Closing, "", 1.0f, ""); });
  watchdog.start(3000);
  loop->run();
  EXPECT_FALSE(timed_out) << "the change listener must wake the loop";
  EXPECT_TRUE(vm.quit_requested);
  EXPECT_TRUE(loop->finished());
}

// Runs a call when the watched object receives an event of one type; being
// installed last, it sees the event before the frame loop's filter does.
class OnEvent : public QObject {
 public:
  OnEvent(QEvent::Type type, std::function<void()> call) : type_(type), call_(std::move(call)) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == type_) call_();
    return false;
  }

 private:
  QEvent::Type type_;
  std::function<void()> call_;
};

TEST_F(WindowTest, ClosingTheWindowEndsTheLoopAfterOneMoreFrame) {
  start(with_game_and_nick());
  ASSERT_FALSE(vm.overlay_visible);
  // The start-up work is over, so nothing else sets the core's state.
  std::promise<void> idle;
  core->post_job([&idle] { idle.set_value(); });
  idle.get_future().wait();
  // The core's state changes as the close arrives: only a frame synchronised
  // after the close request shows it.
  OnEvent on_close(QEvent::Close, [this] {
    core->set_status(CorePhase::Downloading, "Скачиваем файлы...", 0.5f, "");
  });
  window->window()->installEventFilter(&on_close);
  QTimer::singleShot(0, [this] { window->window()->close(); });
  QTimer watchdog;
  bool timed_out = false;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    timed_out = true;
    vm.quit_requested = true;
    loop->request_frame();
  });
  watchdog.start(3000);
  loop->run();
  EXPECT_FALSE(timed_out) << "the close request must end the loop";
  EXPECT_TRUE(loop->finished());
  EXPECT_TRUE(vm.overlay_visible) << "the frame of the close is still synchronised";
  EXPECT_EQ(vm.progress_width, "50%");
  EXPECT_FALSE(vm.quit_requested);
}

}  // namespace
}  // namespace zelvo::launcher
