#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>

class QQmlEngine;
class QQuickItem;
class QQuickWindow;

namespace zelvo::launcher {

class LauncherModel;

// The window "Zelvo Launcher" showing the launcher document, bound to the
// data model "launcher". The document and the icon are compiled in.
class LauncherWindow : public QObject {
  Q_OBJECT
 public:
  static constexpr int kWidth = 980;
  static constexpr int kHeight = 640;

  explicit LauncherWindow(LauncherModel& model, QObject* parent = nullptr);
  ~LauncherWindow() override;

  // Loads the document and creates the window, centred on the primary
  // screen; show() displays it. False (with the reason logged) on failure.
  bool open();
  void show();
  // Brings the window to the front, restored when minimised.
  void bring_to_front();
  // Releases the document, the engine and the window.
  void shutdown();

  QQuickWindow* window() const { return window_.get(); }
  QQuickItem* root() const { return root_.get(); }

 private:
  LauncherModel& model_;
  std::unique_ptr<QQuickWindow> window_;
  std::unique_ptr<QQmlEngine> engine_;
  std::unique_ptr<QQuickItem> root_;
  std::atomic<bool> first_frame_shown_{false};
};

}  // namespace zelvo::launcher
