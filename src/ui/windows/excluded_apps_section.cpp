#include "ui/windows/excluded_apps_section.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "runtime/main_actor.h"
#include "ui/design_components.h"
#include "ui/qt_palette_theme.h"
#include "ui/rounded_panel.h"
#include "ui/symbol_images.h"
#include "ui/toggle_switch.h"
#include "ui/widget_style.h"
#include "ui/windows/settings_panel_parts.h"
#include "ui/windows/window_widgets.h"

namespace corvane::ui {

using windows::ExcludedAppsViewModel;

namespace {

constexpr int kIconSide = 28;
constexpr int kDividerInset = 50;

// The stored symbol in green on a faint green rounded tile.
QPixmap symbolTilePixmap(const std::string& symbol, qreal devicePixelRatio) {
  const int pixels = qRound(kIconSide * devicePixelRatio);
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor green = toQColor(model::Palette::privacyGreen());
  QPainterPath tile;
  tile.addRoundedRect(QRectF(0, 0, pixels, pixels), 6 * devicePixelRatio, 6 * devicePixelRatio);
  painter.fillPath(tile, withAlpha(green, 0.1));
  const int side = qRound(16 * devicePixelRatio);
  painter.drawImage(QPointF((pixels - side) / 2.0, (pixels - side) / 2.0),
                    SymbolImages::shared().image(symbol, side, green));
  painter.end();
  QPixmap pixmap = QPixmap::fromImage(image);
  pixmap.setDevicePixelRatio(devicePixelRatio);
  return pixmap;
}

}  // namespace

ExcludedAppSettingsRow::ExcludedAppSettingsRow(const windows::ExcludedAppRow& row,
                                               std::function<void(bool)> setIsOn,
                                               std::function<void()> onRemove, QWidget* parent)
    : QWidget(parent), id_(row.id) {
  setObjectName(QString::fromStdString("excludedApp:" + row.id));
  setMinimumHeight(50);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(10, 0, 10, 0);
  layout->setSpacing(10);

  icon_ = new QLabel(this);
  icon_->setFixedSize(kIconSide, kIconSide);
  layout->addWidget(icon_);

  auto* texts = new QVBoxLayout;
  texts->setSpacing(2);
  name_ = makeTextLabel(this, "", 12, QFont::Medium);
  idLabel_ = makeTextLabel(this, "", 10, QFont::Normal);
  idLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  setTextColor(idLabel_, toQColor(model::StatusColor::secondary));
  texts->addWidget(name_);
  texts->addWidget(idLabel_);
  layout->addLayout(texts, 1);

  toggle_ = new ToggleSwitch(toQColor(model::Palette::privacyGreen()), this);
  connect(toggle_, &ToggleSwitch::toggled, this, [setIsOn = std::move(setIsOn)](bool on) {
    if (setIsOn) setIsOn(on);
  });
  layout->addWidget(toggle_);

  remove_ = new QToolButton(this);
  remove_->setAutoRaise(true);
  remove_->setFixedSize(22, 22);
  remove_->setIcon(SymbolImages::shared().icon(ExcludedAppsViewModel::removeSymbol,
                                               toQColor(model::StatusColor::secondary), 11));
  remove_->setIconSize(QSize(11, 11));
  connect(remove_, &QToolButton::clicked, this, [onRemove = std::move(onRemove)] {
    if (onRemove) onRemove();
  });
  layout->addWidget(remove_);
  set(row);
}

void ExcludedAppSettingsRow::set(const windows::ExcludedAppRow& row) {
  const bool isFirst = shown_.id.empty();
  if (!isFirst && row == shown_) return;
  if (isFirst || row.icon != shown_.icon) {
    showsEntryIcon_ = false;
    icon_->setPixmap(symbolTilePixmap(row.icon.systemImage, devicePixelRatioF()));
  }
  name_->setText(QString::fromStdString(row.displayName));
  idLabel_->setProperty("fullText", QString::fromStdString(row.detailText()));
  elideId();
  {
    // Showing the stored state is not a user's change.
    const QSignalBlocker quiet(toggle_);
    toggle_->setChecked(row.isOn);
  }
  toggle_->setAccessibleName(QString::fromStdString(row.displayName));
  toggle_->setAccessibleDescription(QString::fromStdString(row.toggleHint()));
  remove_->setAccessibleName(QString::fromStdString(row.removeLabel()));
  remove_->setToolTip(QString::fromStdString(row.removeLabel()));
  shown_ = row;
}

void ExcludedAppSettingsRow::showEntryIcon(const QImage& image) {
  if (image.isNull()) return;
  const qreal ratio = devicePixelRatioF();
  QPixmap pixmap =
      QPixmap::fromImage(image.scaled(qRound(kIconSide * ratio), qRound(kIconSide * ratio),
                                      Qt::KeepAspectRatio, Qt::SmoothTransformation));
  pixmap.setDevicePixelRatio(ratio);
  icon_->setPixmap(pixmap);
  showsEntryIcon_ = true;
}

void ExcludedAppSettingsRow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  elideId();
}

void ExcludedAppSettingsRow::elideId() {
  const QString full = idLabel_->property("fullText").toString();
  idLabel_->setText(
      idLabel_->fontMetrics().elidedText(full, Qt::ElideMiddle, std::max(0, idLabel_->width())));
}

ExcludedAppsSection::ExcludedAppsSection(
    std::weak_ptr<windows::SettingsWindowController> controller, QWidget* parent,
    windows::ApplicationEntryLookup lookup)
    : SettingsSectionView(parent), controller_(std::move(controller)), lookup_(std::move(lookup)) {
  setObjectName(QStringLiteral("excludedAppsSection"));
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(0, 0, 0, 0);
  auto* panel = new QWidget(this);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);
  column->addWidget(buildHeader(panel));
  pollingNote_ = makeTextLabel(panel, "", 11, QFont::Normal, true);
  pollingNote_->setObjectName(QStringLiteral("excludedAppsPollingNote"));
  setTextColor(pollingNote_, toQColor(model::StatusColor::secondary));
  pollingNote_->hide();
  column->addWidget(pollingNote_);

  list_ = makeListCard(panel, listLayout_);
  list_->setObjectName(QStringLiteral("excludedAppsList"));
  empty_ = buildEmptyState(list_);
  listLayout_->addWidget(empty_);
  showMore_ = makeButton(list_, ButtonStyle::plain);
  showMore_->setObjectName(QStringLiteral("showMoreApps"));
  setButtonContent(showMore_, showMoreTitle);
  showMore_->hide();
  connect(showMore_, &QPushButton::clicked, this, [this] { showMore(); });
  listLayout_->addWidget(showMore_, 0, Qt::AlignHCenter);
  column->addWidget(list_);
  stack->addWidget(panel);
}

ExcludedAppsSection::~ExcludedAppsSection() {
  if (importAlert_) importAlert_->disconnect(this);
  if (restoreConfirmation_) restoreConfirmation_->disconnect(this);
  delete importAlert_.data();
  delete restoreConfirmation_.data();
}

QWidget* ExcludedAppsSection::buildHeader(QWidget* parent) {
  auto* header = new QWidget(parent);
  auto* row = new QHBoxLayout(header);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(12);
  row->addWidget(
      new SectionTitle(ExcludedAppsViewModel::title, ExcludedAppsViewModel::subtitle, header));
  row->addStretch(1);
  activeCount_ = makeTextLabel(header, "", 10, QFont::DemiBold);
  setTextColor(activeCount_, toQColor(model::StatusColor::secondary));
  row->addWidget(activeCount_);

  options_ = new QToolButton(header);
  options_->setObjectName(QStringLiteral("excludedAppOptions"));
  options_->setAutoRaise(true);
  options_->setFixedSize(24, 24);
  options_->setPopupMode(QToolButton::InstantPopup);
  options_->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
  const QColor text = palette().color(QPalette::WindowText);
  options_->setIcon(SymbolImages::shared().icon(ExcludedAppsViewModel::optionsSymbol, text, 14));
  options_->setIconSize(QSize(14, 14));
  options_->setToolTip(QString::fromLatin1(ExcludedAppsViewModel::optionsHelp));
  auto* menu = new QMenu(options_);
  auto* restore = menu->addAction(
      SymbolImages::shared().icon(ExcludedAppsViewModel::restoreDefaultsSymbol, text),
      QString::fromLatin1(ExcludedAppsViewModel::restoreDefaultsTitle));
  connect(restore, &QAction::triggered, this, [this] { presentRestoreDefaultsConfirmation(); });
  options_->setMenu(menu);
  row->addWidget(options_);

  add_ = makeButton(header, ButtonStyle::prominent, toQColor(model::Palette::privacyGreen()));
  add_->setObjectName(QStringLiteral("addApp"));
  setButtonContent(add_, ExcludedAppsViewModel::addAppTitle, ExcludedAppsViewModel::addAppSymbol);
  connect(add_, &QPushButton::clicked, this, [this] { chooseApplications(); });
  row->addWidget(add_);
  return header;
}

QWidget* ExcludedAppsSection::buildEmptyState(QWidget* parent) {
  auto* empty = new QWidget(parent);
  empty->setObjectName(QStringLiteral("excludedAppsEmpty"));
  empty->setMinimumHeight(150);
  auto* column = new QVBoxLayout(empty);
  column->setContentsMargins(16, 16, 16, 16);
  column->setSpacing(6);
  column->addStretch(1);
  const QColor secondary = toQColor(model::StatusColor::secondary);
  column->addWidget(makeSymbolLabel(empty, ExcludedAppsViewModel::emptySymbol, 32, secondary), 0,
                    Qt::AlignHCenter);
  column->addWidget(makeTextLabel(empty, ExcludedAppsViewModel::emptyTitle, 15, QFont::DemiBold), 0,
                    Qt::AlignHCenter);
  auto* description =
      makeTextLabel(empty, ExcludedAppsViewModel::emptyDescription, 12, QFont::Normal, true);
  description->setAlignment(Qt::AlignHCenter);
  setTextColor(description, secondary);
  column->addWidget(description);
  emptyAdd_ = makeButton(empty, ButtonStyle::bordered);
  emptyAdd_->setObjectName(QStringLiteral("emptyAddApp"));
  setButtonContent(emptyAdd_, ExcludedAppsViewModel::addAppTitle,
                   ExcludedAppsViewModel::addAppSymbol);
  connect(emptyAdd_, &QPushButton::clicked, this, [this] { chooseApplications(); });
  column->addWidget(emptyAdd_, 0, Qt::AlignHCenter);
  column->addStretch(1);
  return empty;
}

void ExcludedAppsSection::chooseApplications() {
  runtime::assertMainActor();
  if (auto controller = controller_.lock()) controller->chooseProtectedApplications();
}

void ExcludedAppsSection::refresh() {
  runtime::assertMainActor();
  auto controller = controller_.lock();
  if (!controller) return;
  // Only a change of the applications themselves touches the rows.
  const auto& apps = controller->protectedApps();
  if (!shownApps_ || *shownApps_ != apps) showApplications(apps);
  syncImportAlert(controller->protectedAppImportError());
  const auto note = ExcludedAppsViewModel::pollingNote(controller->applicationIndexPollingReason());
  pollingNote_->setText(QString::fromStdString(note.value_or("")));
  pollingNote_->setVisible(note.has_value());
}

void ExcludedAppsSection::showApplications(const std::vector<model::ProtectedApp>& apps) {
  const ExcludedAppsViewModel model(apps, std::nullopt, lookup_);
  activeCount_->setText(QString::fromStdString(model.activeCountText()));
  empty_->setVisible(model.isEmpty());
  const auto models = model.rows(rowLimit_);
  const bool sameRows =
      models.size() == rows_.size() &&
      std::equal(models.begin(), models.end(), rows_.begin(),
                 [](const auto& row, const auto* widget) { return row.id == widget->appId(); });
  if (sameRows) {
    for (std::size_t i = 0; i < models.size(); ++i) {
      const bool iconChanged = rows_[i]->shown().icon != models[i].icon;
      rows_[i]->set(models[i]);
      if (iconChanged) requestEntryIcon(rows_[i], models[i]);
    }
  } else {
    rebuildRows(models);
  }
  showMore_->setVisible(model.count() > models.size());
  shownApps_ = apps;
}

void ExcludedAppsSection::showMore() {
  runtime::assertMainActor();
  if (!shownApps_) return;
  // The next page goes below the rows shown; those, and the count above, stay as they are.
  const ExcludedAppsViewModel model(*shownApps_, std::nullopt, lookup_);
  appendRows(model.rows(rows_.size(), kRowsShownAtOnce));
  rowLimit_ += kRowsShownAtOnce;
  showMore_->setVisible(model.count() > rows_.size());
}

void ExcludedAppsSection::rebuildRows(const std::vector<windows::ExcludedAppRow>& models) {
  // A row may hold the switch whose click led here.
  discardWidgets(listLayout_, rows_);
  discardWidgets(listLayout_, dividers_);
  appendRows(models);
}

void ExcludedAppsSection::appendRows(const std::vector<windows::ExcludedAppRow>& models) {
  std::weak_ptr<windows::SettingsWindowController> weak = controller_;
  // Each row and divider goes right above the Show More button, below those already there.
  int at = listLayout_->indexOf(showMore_);
  for (const auto& row : models) {
    const std::string id = row.id;
    auto* widget = new ExcludedAppSettingsRow(
        row,
        [weak, id](bool on) {
          runtime::assertMainActor();
          if (auto controller = weak.lock()) controller->setProtectedApp(id, on);
        },
        [weak, id] {
          runtime::assertMainActor();
          if (auto controller = weak.lock()) controller->removeProtectedApp(id);
        },
        list_);
    listLayout_->insertWidget(at++, widget);
    rows_.push_back(widget);
    requestEntryIcon(widget, row);
    if (row.hasDividerBelow) {
      auto* inset = new QWidget(list_);
      auto* insetLayout = new QHBoxLayout(inset);
      insetLayout->setContentsMargins(kDividerInset, 0, 0, 0);
      insetLayout->addWidget(makeDivider(inset));
      listLayout_->insertWidget(at++, inset);
      dividers_.push_back(inset);
    }
  }
}

void ExcludedAppsSection::requestEntryIcon(ExcludedAppSettingsRow* widget,
                                           const windows::ExcludedAppRow& row) {
  if (!row.icon.entryIcon) return;
  QPointer<ExcludedAppSettingsRow> target(widget);
  icons_.request(*row.icon.entryIcon, [target](const QImage& image) {
    if (target) target->showEntryIcon(image);
  });
}

void ExcludedAppsSection::syncImportAlert(const std::optional<std::string>& importError) {
  if (!importError) {
    // The controller cleared the message: the alert goes without clearing it again.
    if (importAlert_) {
      importAlert_->disconnect(this);
      importAlert_->close();
      importAlert_->deleteLater();
    }
    return;
  }
  const QString message = QString::fromStdString(*importError);
  if (importAlert_) {
    importAlert_->setInformativeText(message);
    return;
  }
  auto* alert = new QMessageBox(window());
  alert->setObjectName(QStringLiteral("importAlert"));
  alert->setIcon(QMessageBox::Warning);
  alert->setWindowTitle(QString::fromUtf8(ExcludedAppsViewModel::importAlertTitle));
  alert->setText(QString::fromUtf8(ExcludedAppsViewModel::importAlertTitle));
  alert->setInformativeText(message);
  alert->addButton(QString::fromLatin1(ExcludedAppsViewModel::importAlertAction),
                   QMessageBox::AcceptRole);
  alert->setAttribute(Qt::WA_DeleteOnClose);
  // "OK", Escape or closing the alert all dismiss it.
  connect(alert, &QMessageBox::finished, this, [this] {
    runtime::assertMainActor();
    if (auto controller = controller_.lock()) controller->clearProtectedAppImportError();
  });
  importAlert_ = alert;
  alert->open();
}

void ExcludedAppsSection::presentRestoreDefaultsConfirmation() {
  runtime::assertMainActor();
  if (restoreConfirmation_) return;
  auto* dialog = new QMessageBox(window());
  dialog->setObjectName(QStringLiteral("restoreDefaultsConfirmation"));
  dialog->setWindowTitle(QString::fromLatin1(ExcludedAppsViewModel::restoreConfirmationTitle));
  dialog->setText(QString::fromLatin1(ExcludedAppsViewModel::restoreConfirmationTitle));
  dialog->setInformativeText(
      QString::fromLatin1(ExcludedAppsViewModel::restoreConfirmationMessage));
  auto* restore =
      dialog->addButton(QString::fromLatin1(ExcludedAppsViewModel::restoreDefaultsTitle),
                        QMessageBox::DestructiveRole);
  dialog->addButton(QString::fromLatin1(ExcludedAppsViewModel::cancelTitle),
                    QMessageBox::RejectRole);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QMessageBox::buttonClicked, this, [this, restore](QAbstractButton* button) {
    runtime::assertMainActor();
    if (button != restore) return;
    if (auto controller = controller_.lock()) controller->restoreDefaultProtectedApps();
  });
  restoreConfirmation_ = dialog;
  dialog->open();
}

}  // namespace corvane::ui
