// The real launcher binary on a real X display (the Xvfb that the test
// script starts), against `zelvo-cdn serve` on loopback and a fake game
// runner that records how it was started. Skipped without a display.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/helpers.hpp"
#include "config/launcher_settings.hpp"
#include "files/file_digest.hpp"
#include "files/manifest.hpp"
#include "tests/support/temp_dir.hpp"

namespace zelvo::launcher {
namespace {

using test::read_text_file;
using test::TempDir;
using test::write_text_file;
using Clock = std::chrono::steady_clock;

// Where the Play button's centre lies in the 980 x 640 window.
constexpr int kPlayX = 605;
constexpr int kPlayY = 582;

bool poll(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// Runs a short command and returns its trimmed standard output.
QString run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(5000)) {
    p.kill();
    p.waitForFinished();
  }
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// Whether top-level window a (decimal id, as xdotool prints it) lies above b:
// xwininfo lists the root's children in stacking order, topmost first.
bool above(const QString& a, const QString& b) {
  const QString tree = run("xwininfo", {"-root", "-children"});
  const auto position = [&tree](const QString& id) {
    return tree.indexOf("0x" + QString::number(id.toULongLong(), 16) + " ");
  };
  const qsizetype pa = position(a);
  const qsizetype pb = position(b);
  return pa >= 0 && pb >= 0 && pa < pb;
}

class LauncherE2ETest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QCoreApplication::instance()) {
      static int argc = 1;
      static char name[] = "ui_e2e_test";
      static char* argv[] = {name, nullptr};
      new QCoreApplication(argc, argv);
    }
  }

  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "needs an X display (Xvfb)";
    launcher_binary = ZELVO_LAUNCHER_BINARY;
    cdn_binary = ZELVO_CDN_BINARY;
    create_directories(runtime);
    QFile::setPermissions(QString::fromStdString(runtime),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    create_directories(exe_dir);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(launcher_binary),
                            QString::fromStdString(exe_dir + "/ZelvoLauncher")));
    start_cdn();
    write_runner();
  }

  void TearDown() override {
    for (QProcess* p : {second.get(), launcher.get(), cdn.get()}) {
      if (p && p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished(3000);
      }
    }
  }

  void start_cdn() {
    QProcess tree;
    tree.start(QString::fromStdString(cdn_binary), {"demo-tree", QString::fromStdString(cdn_root)});
    ASSERT_TRUE(tree.waitForFinished(30000));
    ASSERT_EQ(tree.exitCode(), 0) << tree.readAllStandardError().toStdString();

    cdn = std::make_unique<QProcess>();
    cdn->start(QString::fromStdString(cdn_binary),
               {"serve", QString::fromStdString(cdn_root), "--port", "0", "--tls-dir",
                QString::fromStdString(dir.file("tls"))});
    std::string ca_file;
    std::string base;
    ASSERT_TRUE(poll(
        [&] {
          cdn->waitForReadyRead(100);
          while (cdn->canReadLine()) {
            const QString line = QString::fromUtf8(cdn->readLine()).trimmed();
            if (line.startsWith("ca file: ")) ca_file = line.mid(9).toStdString();
            if (line.startsWith("serving ")) base = line.mid(8).toStdString();
          }
          return !base.empty();
        },
        std::chrono::seconds(30)))
        << cdn->readAllStandardError().toStdString();
    write_text_file(exe_dir + "/cdn.json", "{\"nodes\": [\"" + base + "/cdn-ru\", \"" + base +
                                               "/cdn-eu\"], " + "\"geo_probe\": \"" + base +
                                               "/cdn-eu/launcher/ping.txt\", " + "\"ca_file\": \"" +
                                               ca_file + "\"}");
  }

  // Records its arguments, the connection variables, its folder and the
  // connection file, then ends at once.
  void write_runner() {
    write_text_file(runner,
                    "#!/bin/sh\n"
                    "{\n"
                    "  for a in \"$@\"; do printf 'arg=%s\\n' \"$a\"; done\n"
                    "  printf 'nick=%s\\nip=%s\\nport=%s\\nname=%s\\ncwd=%s\\n' "
                    "\"$ZELVO_NICKNAME\" \"$ZELVO_SERVER_IP\" \"$ZELVO_SERVER_PORT\" "
                    "\"$ZELVO_SERVER_NAME\" \"$(pwd)\"\n"
                    "  cat z/launcher_connect.json\n"
                    "} > \"" +
                        runner_out + ".tmp\" && mv \"" + runner_out + ".tmp\" \"" + runner_out +
                        "\"\n");
    QFile::setPermissions(QString::fromStdString(runner),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }

  std::unique_ptr<QProcess> start_launcher(const QStringList& extra_env = {}) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : extra_env) env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime));
    env.insert("ZELVO_GAME_RUNNER", QString::fromStdString(runner));
    env.remove("ZELVO_CDN_CONFIG");
    env.remove("QT_QPA_PLATFORM");
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(QString::fromStdString(exe_dir + "/ZelvoLauncher"), {});
    EXPECT_TRUE(p->waitForStarted(5000));
    return p;
  }

  // The launcher's X window, once it is mapped.
  QString window_of(QProcess& p) {
    QString id;
    poll(
        [&] {
          id = run("xdotool", {"search", "--all", "--onlyvisible", "--pid",
                               QString::number(p.processId()), "--name", "^Zelvo Launcher$"})
                   .section('\n', 0, 0);
          return !id.isEmpty();
        },
        std::chrono::seconds(30));
    return id;
  }

  bool exited(QProcess& p, std::chrono::milliseconds limit) {
    return poll([&] { return p.state() == QProcess::NotRunning || p.waitForFinished(10); }, limit);
  }

  TempDir dir;
  const std::string runtime = dir.file("runtime");
  const std::string exe_dir = dir.file("launcher");
  const std::string cdn_root = dir.file("cdn");
  const std::string game_dir = dir.file("games/ZelvoOnline");
  const std::string runner = dir.file("runner.sh");
  const std::string runner_out = dir.file("runner.out");
  std::string launcher_binary;
  std::string cdn_binary;
  std::unique_ptr<QProcess> cdn;
  std::unique_ptr<QProcess> launcher;
  std::unique_ptr<QProcess> second;
};

TEST_F(LauncherE2ETest, PlayDownloadsTheGameStartsItAndExits) {
  LauncherSettings settings;
  settings.game_dir = game_dir;
  settings.nickname = "Pavel_Zorin";
  ASSERT_TRUE(settings.save(exe_dir + "/launcher.json"));

  launcher = start_launcher();
  const QString window = window_of(*launcher);
  ASSERT_FALSE(window.isEmpty());
  ASSERT_TRUE(poll(
      [&] {
        return read_text_file(exe_dir + "/launcher.log").find("servers: parsed") !=
               std::string::npos;
      },
      std::chrono::seconds(30)));

  // Clicks until Play is taken (the first ones may meet the start-up work).
  ASSERT_TRUE(poll(
      [&] {
        if (read_text_file(exe_dir + "/launcher.log").find("play:") == std::string::npos) {
          // Other tests' windows may share the display: this one goes on top.
          run("xdotool", {"windowraise", window});
          run("xdotool", {"mousemove", "--window", window, QString::number(kPlayX),
                          QString::number(kPlayY), "click", "1"});
        }
        return launcher->waitForFinished(200);
      },
      std::chrono::seconds(30)))
      << read_text_file(exe_dir + "/launcher.log");
  EXPECT_EQ(launcher->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(launcher->exitCode(), 0);

  const FileManifest manifest =
      FileManifest::parse(read_text_file(cdn_root + "/cdn-ru/launcher/pc/files.json"));
  ASSERT_FALSE(manifest.files.empty());
  for (const ManifestEntry& file : manifest.files) {
    EXPECT_EQ(md5_file(join_path(game_dir, file.path)), file.md5) << file.path;
  }

  ASSERT_TRUE(poll([&] { return !read_text_file(runner_out).empty(); }, std::chrono::seconds(15)));
  const std::string log = read_text_file(exe_dir + "/launcher.log");
  EXPECT_EQ(log.find("launch: started"), log.rfind("launch: started")) << "one game start";
  const std::string connect = read_text_file(game_dir + "/z/launcher_connect.json");
  EXPECT_EQ(read_text_file(runner_out), "arg=" + game_dir +
                                            "/gta_sa.exe\n"
                                            "arg=-n\narg=Pavel_Zorin\narg=-h\narg=127.0.0.1\n"
                                            "arg=-p\narg=7777\n"
                                            "nick=Pavel_Zorin\nip=127.0.0.1\nport=7777\n"
                                            "name=Zelvo Online #1\ncwd=" +
                                            game_dir + "\n" + connect);
  EXPECT_EQ(connect,
            "{\r\n  \"ip\": \"127.0.0.1\",\r\n  \"nickname\": \"Pavel_Zorin\",\r\n"
            "  \"port\": 7777,\r\n  \"server_name\": \"Zelvo Online #1\"\r\n}");
}

TEST_F(LauncherE2ETest, SecondStartRaisesTheFirstWindowAndExits) {
  launcher = start_launcher();
  const QString window = window_of(*launcher);
  ASSERT_FALSE(window.isEmpty());
  const std::string log_before = read_text_file(exe_dir + "/launcher.log");
  ASSERT_NE(log_before.find("launcher start (pc)"), std::string::npos);

  // Another window is mapped over the launcher's.
  QProcess other;
  const QString other_name = QString("other-window-%1").arg(QCoreApplication::applicationPid());
  other.start("xmessage", {"-name", other_name, "elsewhere"});
  ASSERT_TRUE(other.waitForStarted(5000));
  QString other_window;
  ASSERT_TRUE(poll(
      [&] {
        other_window =
            run("xdotool", {"search", "--onlyvisible", "--classname", "^" + other_name + "$"})
                .section('\n', 0, 0);
        return !other_window.isEmpty();
      },
      std::chrono::seconds(30)));
  ASSERT_TRUE(above(other_window, window));

  second = start_launcher();
  ASSERT_TRUE(second->waitForFinished(5000));
  EXPECT_EQ(second->exitCode(), 0);
  EXPECT_TRUE(poll([&] { return above(window, other_window); }, std::chrono::seconds(15)))
      << "the first launcher's window must come to the front";
  EXPECT_EQ(read_text_file(exe_dir + "/launcher.log").rfind(log_before, 0), 0u)
      << "the second start must not touch the log";
  EXPECT_EQ(launcher->state(), QProcess::Running);

  other.kill();
  other.waitForFinished(3000);
}

TEST_F(LauncherE2ETest, WindowIsSizedInDeviceIndependentPixels) {
  launcher = start_launcher({"QT_SCALE_FACTOR=1.5"});
  const QString window = window_of(*launcher);
  ASSERT_FALSE(window.isEmpty());
  // 1.5 x 980 x 640, centred, or at the corner of a smaller screen.
  const QStringList screen = run("xdotool", {"getdisplaygeometry"}).split(' ');
  ASSERT_EQ(screen.size(), 2);
  const int x = std::max(0, (screen[0].toInt() - 1470) / 2);
  const int y = std::max(0, (screen[1].toInt() - 960) / 2);
  const QString geometry = run("xdotool", {"getwindowgeometry", window});
  EXPECT_TRUE(geometry.contains("Geometry: 1470x960")) << geometry.toStdString();
  EXPECT_TRUE(geometry.contains(QString("Position: %1,%2 ").arg(x).arg(y)))
      << geometry.toStdString();
}

// The launcher copied into a temp folder and started without a window it
// could set up.
class LauncherStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    create_directories(dir.file("launcher"));
    create_directories(dir.file("runtime"));
    ASSERT_TRUE(QFile::copy(ZELVO_LAUNCHER_BINARY,
                            QString::fromStdString(dir.file("launcher/ZelvoLauncher"))));
  }

  // Runs the copy with env and expects exit 1 with the reason in its log.
  void expect_exit_one(QProcessEnvironment env, const std::string& reason) {
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.file("runtime")));
    env.insert("ZELVO_CDN_CONFIG", QString::fromStdString(dir.file("no-cdn.json")));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(dir.file("launcher/ZelvoLauncher")), {});
    ASSERT_TRUE(p.waitForFinished(15000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_NE(read_text_file(dir.file("launcher/launcher.log")).find(reason), std::string::npos);
  }

  TempDir dir;
};

// Without any font the window cannot show its texts: exit 1, with the reason
// in the log. Qt's offscreen platform needs no display.
TEST_F(LauncherStartTest, ExitsWithOneWhenNoFontFaceLoads) {
  write_text_file(dir.file("fonts.conf"),
                  "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
                  "<fontconfig><dir>" +
                      dir.file("no-fonts") + "</dir><cachedir>" + dir.file("fc-cache") +
                      "</cachedir></fontconfig>\n");
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("FONTCONFIG_FILE", QString::fromStdString(dir.file("fonts.conf")));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  expect_exit_one(env, "window: no regular font face");
}

// A platform named in the environment that needs a display it cannot reach
// is a window that cannot be set up: exit 1, not Qt's abort.
TEST_F(LauncherStartTest, ExitsWithOneWhenTheNamedPlatformHasNoDisplay) {
  for (const char* platform : {"xcb", "wayland;xcb"}) {
    SCOPED_TRACE(platform);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", platform);
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    expect_exit_one(env, "window: no display");
  }
}

}  // namespace
}  // namespace zelvo::launcher
