#pragma once

#include <QAbstractButton>
#include <QWidget>
#include <array>
#include <memory>

#include "menubar/menu_bar_controller.h"
#include "menubar/menu_bar_popover_actions.h"
#include "menubar/menu_bar_popover_view_model.h"
#include "runtime/subscription.h"

class QHBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;

namespace corvane::ui {

class ActionTile;

// The colour a popover colour names: the palette's own, the desktop's grey, red and secondary
// text, white and black.
QColor toQColor(const menubar::PopoverColor& color);

// The popover's primary control: leading symbol, title and detail, trailing symbol, on a
// top-to-bottom gradient in a rounded rectangle with a faint white outline that brightens under
// the pointer. Pressed, it dims to 84% and shrinks to 98.5%.
class PopoverPrimaryButton final : public QAbstractButton {
 public:
  explicit PopoverPrimaryButton(QWidget* parent = nullptr);
  void setModel(const menubar::MenuBarPopoverViewModel& model);
  bool isHovered() const { return hovered_; }
  const QString& detail() const { return detail_; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QString detail_;
  std::string leading_;
  std::string trailing_;
  QColor foreground_;
  std::array<QColor, 2> gradient_;
  bool hovered_ = false;
};

// A token of the summary card: a small symbol and title above a value, on a faint rounded
// background. A count token groups its number the locale's way; a status token draws its top row
// in its own colour.
class SignalTokenView final : public QWidget {
 public:
  enum class Kind { count, status };
  SignalTokenView(Kind kind, QWidget* parent = nullptr);
  void set(const QString& title, const std::string& systemImage, const QString& value,
           const QColor& color);
  QLabel* valueLabel() const { return value_; }
  QLabel* titleLabel() const { return title_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Kind kind_;
  QLabel* symbol_;
  QLabel* title_;
  QLabel* value_;
};

// The tray popover's content: header, protection summary, primary control, the two tile rows
// and the footer, drawn from the view model over the controller's state, which it reads again
// whenever the controller announces a change. Every control calls the popover's actions.
class MenuBarPopoverView final : public QWidget {
 public:
  static constexpr int kWidth = 380;

  MenuBarPopoverView(std::weak_ptr<menubar::MenuBarController> controller,
                     menubar::MenuBarPopoverActions actions, QWidget* parent = nullptr);
  ~MenuBarPopoverView() override;

  // Reads the controller's state again and updates every section.
  void refresh();

  // For tests and screenshots.
  QLabel* headerSubtitleLabel() const { return headerSubtitle_; }
  QWidget* statusDot() const { return statusDot_; }
  QLabel* summaryTitleLabel() const { return summaryTitle_; }
  QLabel* summaryDetailLabel() const { return summaryDetail_; }
  QWidget* permissionRow() const { return permissionRow_; }
  QWidget* spaceRecoveryRow() const { return recoveryRow_; }
  SignalTokenView* excludedAppsToken() const { return excludedApps_; }
  SignalTokenView* shareStatusToken() const { return shareStatus_; }
  PopoverPrimaryButton* primaryButton() const { return primary_; }
  ActionTile* localVisibilityTile() const { return localVisibility_; }
  ActionTile* settingsTile() const { return settings_; }
  ActionTile* restoreTile() const { return restore_; }
  QToolButton* openPreviewButton() const { return openPreview_; }
  QToolButton* previewHiddenLabel() const { return previewHidden_; }
  QToolButton* setupButton() const { return setup_; }
  QToolButton* settingsButton() const { return settingsFooter_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QWidget* buildHeader();
  QWidget* buildSummary();
  QWidget* buildActions();
  QWidget* buildFooter();
  void setLocalVisibilityTile(const menubar::PopoverTile& tile);

  std::weak_ptr<menubar::MenuBarController> controller_;
  std::shared_ptr<const menubar::MenuBarPopoverActions> actions_;
  runtime::Subscription changes_;

  QLabel* headerSubtitle_ = nullptr;
  QWidget* statusDot_ = nullptr;
  QLabel* summarySymbol_ = nullptr;
  QLabel* summaryTitle_ = nullptr;
  QLabel* summaryDetail_ = nullptr;
  QWidget* permissionRow_ = nullptr;
  SignalTokenView* excludedApps_ = nullptr;
  SignalTokenView* shareStatus_ = nullptr;
  QWidget* recoveryRow_ = nullptr;
  PopoverPrimaryButton* primary_ = nullptr;
  QHBoxLayout* standardRow_ = nullptr;
  ActionTile* localVisibility_ = nullptr;
  menubar::PopoverTile shownLocalVisibility_;
  ActionTile* settings_ = nullptr;
  ActionTile* restore_ = nullptr;
  QToolButton* openPreview_ = nullptr;
  QToolButton* previewHidden_ = nullptr;
  QToolButton* setup_ = nullptr;
  QToolButton* settingsFooter_ = nullptr;
};

}  // namespace corvane::ui
