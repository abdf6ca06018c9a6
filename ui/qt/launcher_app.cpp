#include "ui/qt/launcher_app.hpp"

#include <QApplication>
#include <QString>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/helpers.hpp"
#include "app/log.hpp"
#include "config/launcher_settings.hpp"
#include "core/launcher_core.hpp"
#include "net/cdn_config.hpp"
#include "net/curl_http_client.hpp"
#include "platform/linux_platform.hpp"
#include "platform/single_instance.hpp"
#include "ui/launcher_vm.hpp"
#include "ui/qt/desktop_services_qt.hpp"
#include "ui/qt/fonts.hpp"
#include "ui/qt/frame_loop.hpp"
#include "ui/qt/launcher_model.hpp"
#include "ui/qt/launcher_window.hpp"
#include "ui/qt/queued_relay.hpp"

namespace zelvo::launcher {

namespace {

bool has_updated_flag(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--updated") == 0) return true;
  }
  return false;
}

// Qt aborts when it cannot reach a display; without one, fail like any
// other window set-up error instead.
bool display_reachable() {
  // A platform chosen by name needs a display only when it is X11 or Wayland
  // (a list such as "wayland;xcb" starts with the one tried first).
  const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
  if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland")) {
    return true;
  }
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

// The long-lived objects, declared in construction order so that they are
// destroyed in the reverse one: core, platform, HTTP client, view-model.
struct Backbone {
  std::unique_ptr<LauncherVM> vm;
  std::unique_ptr<CurlHttpClient> http;
  std::unique_ptr<LinuxPlatform> platform;
  std::unique_ptr<LauncherCore> core;
};

// The window part of a run; returns the exit code. The caller's core is
// cancelled before the window goes away.
int run_window(int argc, char** argv, Backbone& b, SingleInstance& instance) {
  if (!display_reachable()) {
    log_printf("window: no display to open the window on");
    return 1;
  }
  // Qt Quick's raster renderer: a flat 2D document needs no GPU, and it
  // starts faster and lighter than a GL context, above all on software GL.
  // QT_QUICK_BACKEND still chooses another one.
  if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) {
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  }
  QApplication app(argc, argv);
  // Qt adopts the environment's locale; numbers in texts and log lines keep
  // their decimal point under a Russian one.
  std::setlocale(LC_NUMERIC, "C");
  app.setQuitOnLastWindowClosed(false);
  app.setApplicationName("Zelvo Launcher");
  app.setDesktopFileName("zelvo-launcher");

  QtDesktopServices desktop;
  b.platform->set_desktop_services(&desktop);
  struct DetachDesktop {
    LinuxPlatform& platform;
    ~DetachDesktop() { platform.set_desktop_services(nullptr); }
  } detach_desktop{*b.platform};

  // The faces come first: the document's texts take the application font
  // when they are created.
  if (!load_fonts()) {
    b.core->cancel();
    return 1;
  }
  LauncherModel model(*b.vm);
  LauncherWindow window(model);
  if (!window.open()) {
    b.core->cancel();
    return 1;
  }
  FrameLoop loop(model, *window.window());
  auto raise = std::make_shared<QueuedRelay>(&window, [&window] { window.bring_to_front(); });
  struct DetachRelay {
    std::shared_ptr<QueuedRelay> relay;
    ~DetachRelay() { relay->detach(); }
  } detach_raise{raise};
  instance.listen([raise] { raise->post(); });
  b.core->set_change_listener(loop.waker());

  window.show();
  b.core->set_region(b.vm->settings.region);
  b.core->start();
  loop.run();

  b.core->cancel();
  window.shutdown();
  return 0;
}

}  // namespace

int run_launcher(int argc, char** argv) {
  const bool updated = has_updated_flag(argc, argv);
  SingleInstance instance;
  if (instance.acquire(updated ? kHandOverWaitMs : 0) == SingleInstance::Outcome::OtherInstance) {
    return 0;
  }

  Backbone b;
  b.vm = std::make_unique<LauncherVM>();
  remove_old_executable();
  const std::string dir = exe_dir();
  log_init(dir + "/launcher.log", false);
  log_printf("launcher start (pc), exe_dir=%s", dir.c_str());

  const std::string settings_path = dir + "/launcher.json";
  init_from_settings(*b.vm, LauncherSettings::load(settings_path), settings_path);

  const CdnConfig cdn = load_cdn_config(dir);
  b.http = std::make_unique<CurlHttpClient>(cdn.ca_file);
  b.platform = std::make_unique<LinuxPlatform>(b.vm->game_dir, exe_path());
  b.core = std::make_unique<LauncherCore>(*b.http, *b.platform, cdn);
  b.vm->core = b.core.get();
  b.vm->platform = b.platform.get();

  return run_window(argc, argv, b, instance);
}

}  // namespace zelvo::launcher
