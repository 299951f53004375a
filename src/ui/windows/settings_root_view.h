#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "model/settings_section.h"
#include "runtime/subscription.h"
#include "windows/settings_window_controller.h"
#include "windows/window_content.h"

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace corvane::ui {

class SidebarItem;
class StatusPill;

// The panels of one settings section, as the router shows them: its own layout is the router's
// stack of panels, whose spacing and alignment the router sets. refresh() is called on every
// change of the controller while the section is shown.
class SettingsSectionView : public QWidget {
  Q_OBJECT
 public:
  using QWidget::QWidget;
  virtual void refresh() = 0;
};

// Builds a section's panels over the controller.
using SettingsSectionViewFactory = std::function<SettingsSectionView*(
    std::weak_ptr<windows::SettingsWindowController> controller, QWidget* parent)>;

// Which panels each section shows. A section without a factory shows an empty column.
class SettingsSectionViews {
 public:
  void set(model::SettingsSection section, SettingsSectionViewFactory factory);
  const SettingsSectionViewFactory* find(model::SettingsSection section) const;

 private:
  std::map<model::SettingsSection, SettingsSectionViewFactory> factories_;
};

// Every section's panels.
SettingsSectionViews standardSettingsSectionViews();

// The settings window's content: the sidebar of listed sections, a divider, and a scrolling
// column with the heading, the status pill and the selected section's panels. The selection is
// the controller's; the view redraws on every change of the controller.
class SettingsRootView final : public QWidget {
  Q_OBJECT
 public:
  SettingsRootView(std::weak_ptr<windows::SettingsWindowController> controller,
                   SettingsSectionViews sections, QWidget* parent = nullptr);
  ~SettingsRootView() override;

  void refresh();

  // For tests and screenshots.
  const std::vector<SidebarItem*>& sidebarItems() const { return sidebarItems_; }
  StatusPill* statusPill() const { return pill_; }
  QLabel* headingLabel() const { return heading_; }
  QLabel* saveErrorLabel() const { return saveError_; }
  // The shown section's panels (null when it has none) and which section they are.
  SettingsSectionView* sectionView() const { return sectionView_; }
  model::SettingsSection shownSection() const { return shownSection_; }

 private:
  QWidget* buildSidebar();
  void showSection(model::SettingsSection section);

  std::weak_ptr<windows::SettingsWindowController> controller_;
  SettingsSectionViews sections_;
  runtime::Subscription changes_;
  std::vector<SidebarItem*> sidebarItems_;
  QLabel* heading_ = nullptr;
  StatusPill* pill_ = nullptr;
  QLabel* saveError_ = nullptr;
  QWidget* router_ = nullptr;
  SettingsSectionView* sectionView_ = nullptr;
  model::SettingsSection shownSection_ = model::SettingsSection::general;
  bool hasShownSection_ = false;
};

// The factory the window host builds the settings window's content with.
windows::SettingsWindowContentFactory makeSettingsWindowContentFactory(
    SettingsSectionViews sections = standardSettingsSectionViews());

}  // namespace corvane::ui
