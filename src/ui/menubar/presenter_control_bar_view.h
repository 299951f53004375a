#pragma once

#include <QKeySequence>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "menubar/presenter_control_bar_manager.h"
#include "menubar/presenter_control_bar_view_model.h"
#include "runtime/subscription.h"

class QAction;
class QLabel;
class QMenu;
class QShortcut;
class QToolButton;

namespace corvane::ui {

// The presenter control bar's content: the expanded bar (grip, status, three lines of text, the
// preview controls, pause or retry, collapse, Stop or Cancel) or the collapsed one (status,
// one word, expand, a compact Stop), drawn from the view model and redrawn when a published
// field of the state changes. Every control reads its action from the state when it is pressed,
// so an empty slot leaves it inert. Pressing the background drags the bar (the window does that).
class PresenterControlBarView final : public QWidget {
 public:
  explicit PresenterControlBarView(std::shared_ptr<menubar::PresenterControlBarState> state,
                                   QWidget* parent = nullptr);
  ~PresenterControlBarView() override;

  // Reads the state again and updates every control.
  void refresh();

  // For tests and screenshots.
  QWidget* expandedContent() const { return expanded_; }
  QWidget* collapsedContent() const { return collapsed_; }
  QToolButton* previewSizeMenuButton() const { return sizeMenu_; }
  QToolButton* movePreviewButton() const { return move_; }
  QToolButton* previewVisibilityButton() const { return visibility_; }
  QToolButton* secondaryButton() const { return secondary_; }
  QToolButton* collapseButton() const { return collapse_; }
  QToolButton* primaryButton() const { return primary_; }
  QToolButton* expandButton() const { return expand_; }
  QToolButton* compactStopButton() const { return compactStop_; }
  QLabel* titleLabel() const { return title_; }
  QLabel* subtitleLabel() const { return subtitle_; }
  QLabel* summaryLabel() const { return summary_; }
  QLabel* statusWordLabel() const { return statusWord_; }
  // The collapsed bar's context menu, built when asked for.
  QMenu* makeContextMenu();
  // The panel's size is the manager's: the view never holds its window at the expanded size.
  QSize minimumSizeHint() const override { return QSize(1, 1); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QRect barRect() const;
  void buildExpanded();
  void buildCollapsed();
  void installShortcuts();
  QToolButton* makeIconButton(const char* objectName, int side);
  void applyIconButton(QToolButton* button, const menubar::PresenterControlBarControl& control);
  // Runs the slot the member names, read from the state now.
  void perform(menubar::PresenterControlBarAction menubar::PresenterControlBarState::*slot);
  // Reads the slot now and runs it as a main-actor task once the press being handled returned.
  void performAfterThisEvent(
      menubar::PresenterControlBarAction menubar::PresenterControlBarState::*slot);
  // The key sequence that does what the button does, when there is one.
  std::optional<QKeySequence> shortcutOf(const QToolButton* button) const;

  std::shared_ptr<menubar::PresenterControlBarState> state_;
  std::vector<runtime::Subscription> subscriptions_;

  QWidget* expanded_ = nullptr;
  QLabel* grip_ = nullptr;
  QLabel* statusIcon_ = nullptr;
  QLabel* title_ = nullptr;
  QLabel* subtitle_ = nullptr;
  QLabel* summary_ = nullptr;
  QToolButton* sizeMenu_ = nullptr;
  QAction* fitAction_ = nullptr;
  QAction* actualSizeAction_ = nullptr;
  QToolButton* move_ = nullptr;
  QToolButton* visibility_ = nullptr;
  QToolButton* secondary_ = nullptr;
  QToolButton* collapse_ = nullptr;
  QToolButton* primary_ = nullptr;

  QWidget* collapsed_ = nullptr;
  QLabel* compactStatusIcon_ = nullptr;
  QLabel* statusWord_ = nullptr;
  QToolButton* expand_ = nullptr;
  QToolButton* compactStop_ = nullptr;

  QShortcut* stopShortcut_ = nullptr;
  QShortcut* secondaryShortcut_ = nullptr;
  QShortcut* moveShortcut_ = nullptr;
  QShortcut* visibilityShortcut_ = nullptr;
};

// The factory the app gives the bar manager: it builds this view inside a Qt content view.
menubar::PresenterControlBarContentFactory makePresenterControlBarContentFactory();

}  // namespace corvane::ui
