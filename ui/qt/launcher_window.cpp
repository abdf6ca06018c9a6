#include "ui/qt/launcher_window.hpp"

#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QUrl>
#include <algorithm>
#include <atomic>

#include "app/log.hpp"
#include "ui/qt/launcher_model.hpp"

namespace zelvo::launcher {

namespace {

constexpr const char* kDocumentResource = ":/zelvo/qml/Main.qml";
constexpr const char* kDocumentSource = "[document from memory]";
constexpr const char* kTitle = "Zelvo Launcher";

QIcon application_icon() {
  QIcon icon;
  for (int size : {16, 32, 48, 256}) {
    icon.addFile(QStringLiteral(":/zelvo/resources/icon-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace

LauncherWindow::LauncherWindow(LauncherModel& model, QObject* parent)
    : QObject(parent), model_(model) {}

LauncherWindow::~LauncherWindow() { shutdown(); }

bool LauncherWindow::open() {
  QFile file(kDocumentResource);
  if (!file.open(QIODevice::ReadOnly)) {
    log_printf("window: the embedded document is missing");
    return false;
  }
  const QByteArray document = file.readAll();

  engine_ = std::make_unique<QQmlEngine>();
  engine_->addImportPath(QStringLiteral("qrc:/zelvo/qml"));
  QQmlComponent component(engine_.get());
  component.setData(document, QUrl(kDocumentSource));
  if (component.isError()) {
    for (const QQmlError& error : component.errors()) {
      log_printf("window: document error: %s", error.toString().toUtf8().constData());
    }
    return false;
  }
  QObject* created = component.createWithInitialProperties(
      {{QStringLiteral("launcher"), QVariant::fromValue<QObject*>(&model_)}});
  auto* item = qobject_cast<QQuickItem*>(created);
  if (!item) {
    delete created;
    for (const QQmlError& error : component.errors()) {
      log_printf("window: document error: %s", error.toString().toUtf8().constData());
    }
    log_printf("window: the document could not be created");
    return false;
  }
  root_.reset(item);

  window_ = std::make_unique<QQuickWindow>();
  window_->setTitle(kTitle);
  window_->setIcon(application_icon());
  window_->setColor(QColor(0x0c, 0x0f, 0x17));
  window_->resize(kWidth, kHeight);
  root_->setParentItem(window_->contentItem());
  root_->setSize(window_->size());
  connect(window_.get(), &QQuickWindow::widthChanged, root_.get(),
          [this](int width) { root_->setWidth(width); });
  connect(window_.get(), &QQuickWindow::heightChanged, root_.get(),
          [this](int height) { root_->setHeight(height); });
  // Marks the start-up time in the log; the render thread may send it.
  connect(
      window_.get(), &QQuickWindow::frameSwapped, this,
      [this] {
        if (!first_frame_shown_.exchange(true)) log_printf("window: first frame shown");
      },
      Qt::DirectConnection);

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    window_->setPosition(area.x() + std::max(0, (area.width() - kWidth) / 2),
                         area.y() + std::max(0, (area.height() - kHeight) / 2));
  }
  return true;
}

void LauncherWindow::show() {
  if (!window_) return;
  window_->show();
  window_->raise();
  window_->requestActivate();
}

void LauncherWindow::bring_to_front() {
  if (!window_) return;
  log_printf("window: another start asked for the window");
  if (window_->windowStates() & Qt::WindowMinimized) {
    window_->setWindowStates(window_->windowStates() & ~Qt::WindowMinimized);
  }
  window_->show();
  window_->raise();
  window_->requestActivate();
}

void LauncherWindow::shutdown() {
  root_.reset();
  engine_.reset();
  window_.reset();
}

}  // namespace zelvo::launcher
