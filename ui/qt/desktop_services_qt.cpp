#include "ui/qt/desktop_services_qt.hpp"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

namespace zelvo::launcher {

namespace {

// A file manager that does not answer within this time is treated as absent.
constexpr int kFileManagerTimeoutMs = 3000;

bool show_in_file_manager(const QString& file) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1",
                                                     "/org/freedesktop/FileManager1",
                                                     "org.freedesktop.FileManager1", "ShowItems");
  call << QStringList{QUrl::fromLocalFile(file).toString()} << QString();
  const QDBusMessage reply = bus.call(call, QDBus::Block, kFileManagerTimeoutMs);
  return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace

std::string QtDesktopServices::pick_folder(const std::string& title,
                                           const std::string& initial_folder) {
  const QString chosen = QFileDialog::getExistingDirectory(nullptr, QString::fromStdString(title),
                                                           QString::fromStdString(initial_folder),
                                                           QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return {};
  return QDir::fromNativeSeparators(chosen).toStdString();
}

bool QtDesktopServices::copy_text(const std::string& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return false;
  const QString value = QString::fromStdString(text);
  clipboard->setText(value);
  return clipboard->text() == value;
}

bool QtDesktopServices::show_file(const std::string& path) {
  const QString file = QString::fromStdString(path);
  if (!QFileInfo::exists(file)) return false;
  if (show_in_file_manager(file)) return true;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
}

}  // namespace zelvo::launcher
