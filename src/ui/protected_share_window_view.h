#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "runtime/subscription.h"
#include "share_window/protected_share_window_manager.h"
#include "share_window/protected_share_window_view_model.h"

class QLabel;
class QToolButton;

namespace corvane::ui {

class ProtectedShareCanvas;
class NativeImagePresenter;
class StatusPill;

// The output window's content: a strip with the status line, the output resolution, the sizing
// controls, pause, hide-on-this-screen and stop (Start in the preview), above the canvas. The six
// shortcuts go to the controller. Everything it shows comes from the view model, refreshed when
// the manager's presentation, viewport or accessory change.
class ProtectedShareWindowView final : public QWidget {
  Q_OBJECT
 public:
  ProtectedShareWindowView(std::weak_ptr<share_window::ProtectedShareWindowManager> manager,
                           std::weak_ptr<share_window::ProtectedShareWindowController> controller,
                           std::shared_ptr<NativeImagePresenter> presenter = nullptr,
                           QWidget* parent = nullptr);
  ~ProtectedShareWindowView() override;

  // Reads the manager's state again and updates every control and the canvas.
  void refresh();

  ProtectedShareCanvas* canvas() const { return canvas_; }
  StatusPill* statusPill() const { return status_; }
  QToolButton* primaryButton() const { return primary_; }
  QToolButton* hideButton() const { return hide_; }
  QToolButton* pauseButton() const { return pause_; }
  QToolButton* fitButton() const { return fit_; }
  QToolButton* actualSizeButton() const { return actual_; }

 private:
  QToolButton* makeButton(const char* objectName);
  void installShortcuts();
  void send(share_window::ProtectedShareKeyboardCommand command);
  share_window::ProtectedShareWindowViewInput currentInput() const;

  std::weak_ptr<share_window::ProtectedShareWindowManager> manager_;
  std::weak_ptr<share_window::ProtectedShareWindowController> controller_;
  std::vector<runtime::Subscription> subscriptions_;

  StatusPill* status_ = nullptr;
  QLabel* resolution_ = nullptr;
  QToolButton* fit_ = nullptr;
  QToolButton* actual_ = nullptr;
  QToolButton* move_ = nullptr;
  QToolButton* pause_ = nullptr;
  QToolButton* hide_ = nullptr;
  QToolButton* primary_ = nullptr;
  ProtectedShareCanvas* canvas_ = nullptr;
};

// The factory the app gives the window manager: it builds this view inside a Qt content view, its
// canvas presenting through `presenter` where it can.
share_window::ProtectedShareContentFactory makeProtectedShareContentFactory(
    std::shared_ptr<NativeImagePresenter> presenter = nullptr);

}  // namespace corvane::ui
