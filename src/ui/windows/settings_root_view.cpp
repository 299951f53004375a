#include "ui/windows/settings_root_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QVBoxLayout>

#include "runtime/main_actor.h"
#include "ui/design_components.h"
#include "ui/qt_palette_theme.h"
#include "ui/qt_window_system.h"
#include "ui/windows/advanced_section.h"
#include "ui/windows/alerts_about_sections.h"
#include "ui/windows/excluded_apps_section.h"
#include "ui/windows/general_section.h"
#include "ui/windows/sensitive_text_section.h"
#include "ui/windows/window_widgets.h"
#include "windows/settings_root_view_model.h"

namespace corvane::ui {

using model::SettingsSection;
using windows::SettingsRootViewModel;

namespace {

constexpr int kSidebarWidth = 170;

// The sidebar's faint shade over the window background.
class SidebarBackground final : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter(this).fillRect(rect(), QColor::fromRgbF(0, 0, 0, 0.035f));
  }
};

}  // namespace

void SettingsSectionViews::set(SettingsSection section, SettingsSectionViewFactory factory) {
  factories_[section] = std::move(factory);
}

const SettingsSectionViewFactory* SettingsSectionViews::find(SettingsSection section) const {
  auto it = factories_.find(section);
  return it == factories_.end() ? nullptr : &it->second;
}

namespace {

template <class Section>
SettingsSectionViewFactory sectionFactory() {
  return [](std::weak_ptr<windows::SettingsWindowController> controller,
            QWidget* parent) -> SettingsSectionView* {
    return new Section(std::move(controller), parent);
  };
}

}  // namespace

SettingsSectionViews standardSettingsSectionViews() {
  SettingsSectionViews views;
  views.set(SettingsSection::general, sectionFactory<GeneralSection>());
  views.set(SettingsSection::protectedApps, sectionFactory<ExcludedAppsSection>());
  views.set(SettingsSection::sensitiveText, sectionFactory<SensitiveTextSection>());
  views.set(SettingsSection::alerts, sectionFactory<AlertsSection>());
  views.set(SettingsSection::advanced, sectionFactory<AdvancedSection>());
  views.set(SettingsSection::about, sectionFactory<AboutSection>());
  return views;
}

SettingsRootView::SettingsRootView(std::weak_ptr<windows::SettingsWindowController> controller,
                                   SettingsSectionViews sections, QWidget* parent)
    : QWidget(parent), controller_(std::move(controller)), sections_(std::move(sections)) {
  setObjectName(QStringLiteral("settingsRootView"));
  setAutoFillBackground(true);
  QPalette background = palette();
  background.setColor(QPalette::Window, toQColor(model::Palette::appBackground()));
  setPalette(background);

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addWidget(buildSidebar());
  row->addWidget(makeDivider(this, Qt::Vertical));

  auto* scroll = new QScrollArea(this);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* content = new QWidget(scroll);
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(18, 18, 18, 18);
  column->setSpacing(18);
  auto* header = new QHBoxLayout;
  heading_ = makeTextLabel(content, SettingsRootViewModel::heading, 15, QFont::DemiBold);
  pill_ = new StatusPill("", "", toQColor(model::StatusColor::secondary), content);
  header->addWidget(heading_);
  header->addStretch(1);
  header->addWidget(pill_);
  column->addLayout(header);
  // Changes that cannot be saved are lost at quit: said above every section while it lasts.
  saveError_ = makeTextLabel(content, "", 12, QFont::Normal, true);
  saveError_->setObjectName(QStringLiteral("settingsSaveError"));
  setTextColor(saveError_, toQColor(model::StatusColor::criticalRed));
  saveError_->hide();
  column->addWidget(saveError_);
  router_ = new QWidget(content);
  auto* routerLayout = new QVBoxLayout(router_);
  routerLayout->setContentsMargins(0, 0, 0, 0);
  column->addWidget(router_);
  column->addStretch(1);
  scroll->setWidget(content);
  scroll->viewport()->setAutoFillBackground(false);
  row->addWidget(scroll, 1);

  QPointer<SettingsRootView> self(this);
  if (auto strong = controller_.lock()) {
    changes_ = strong->observeChanges([self] {
      if (self) self->refresh();
    });
  }
  refresh();
}

SettingsRootView::~SettingsRootView() = default;

QWidget* SettingsRootView::buildSidebar() {
  auto* sidebar = new SidebarBackground(this);
  sidebar->setFixedWidth(kSidebarWidth);
  auto* column = new QVBoxLayout(sidebar);
  column->setContentsMargins(10, 10, 10, 10);
  column->setSpacing(4);
  for (const auto& entry : SettingsRootViewModel::sidebar(SettingsSection::general)) {
    const auto section = entry.section;
    auto* item = new SidebarItem(
        entry.title, entry.systemImage, false,
        [this, section] {
          runtime::assertMainActor();
          if (auto controller = controller_.lock()) controller->setSelectedSettingsSection(section);
        },
        sidebar);
    column->addWidget(item);
    sidebarItems_.push_back(item);
  }
  column->addStretch(1);
  return sidebar;
}

void SettingsRootView::refresh() {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (!controller) return;
  const auto pill = SettingsRootViewModel::statusPill(controller->isProtectedShareHealthy(),
                                                      controller->isDemoModeOn());
  pill_->set(pill.title, pill.systemImage, toQColor(pill.color));
  const auto& saveError = controller->settingsSaveError();
  saveError_->setVisible(saveError.has_value());
  if (saveError) {
    saveError_->setText(QString::fromStdString(model::SettingsStoreProblem{
        model::SettingsStoreProblem::Kind::notSaved,
        *saveError,
        {}}.sentence()));
  }
  const SettingsSection selected = controller->selectedSettingsSection();
  const auto entries = SettingsRootViewModel::sidebar(selected);
  for (std::size_t i = 0; i < entries.size() && i < sidebarItems_.size(); ++i) {
    sidebarItems_[i]->setSelected(entries[i].isSelected);
  }
  if (!hasShownSection_ || selected != shownSection_) {
    showSection(selected);
  } else if (sectionView_ != nullptr) {
    sectionView_->refresh();
  }
}

void SettingsRootView::showSection(SettingsSection section) {
  auto* layout = static_cast<QVBoxLayout*>(router_->layout());
  if (sectionView_ != nullptr) {
    layout->removeWidget(sectionView_);
    sectionView_->hide();
    sectionView_->deleteLater();
    sectionView_ = nullptr;
  }
  shownSection_ = section;
  hasShownSection_ = true;
  const auto* factory = sections_.find(section);
  if (factory == nullptr) return;
  sectionView_ = (*factory)(controller_, router_);
  layout->addWidget(sectionView_);
  // The section's own layout is the router's stack: its spacing, and its alignment for the
  // panels that cannot grow to the column's width (the others fill it).
  const auto sectionLayout = SettingsRootViewModel::sectionLayout(section);
  if (auto* stack = sectionView_->layout()) {
    stack->setSpacing(sectionLayout.spacing);
    const Qt::Alignment alignment =
        sectionLayout.alignment == windows::SettingsSectionAlignment::center ? Qt::AlignHCenter
                                                                             : Qt::AlignLeft;
    for (int i = 0; i < stack->count(); ++i) {
      QWidget* panel = stack->itemAt(i)->widget();
      if (panel != nullptr && !(panel->sizePolicy().horizontalPolicy() & QSizePolicy::GrowFlag)) {
        stack->setAlignment(panel, alignment);
      }
    }
  }
  sectionView_->refresh();
}

windows::SettingsWindowContentFactory makeSettingsWindowContentFactory(
    SettingsSectionViews sections) {
  return [sections =
              std::move(sections)](std::weak_ptr<windows::SettingsWindowController> controller)
             -> std::shared_ptr<platform::ContentView> {
    return std::make_shared<QtContentView>(new SettingsRootView(std::move(controller), sections));
  };
}

}  // namespace corvane::ui
