#include "ui/menubar/menu_bar_popover_view.h"

#include <QEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QRadialGradient>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/design_components.h"
#include "ui/qt_palette_theme.h"
#include "ui/symbol_images.h"
#include "ui/widget_style.h"

namespace corvane::ui {

using menubar::MenuBarPopoverViewModel;
using menubar::PopoverColor;
using menubar::PopoverTile;

namespace {

constexpr qreal kCornerRadius = 8;

QColor secondaryText() {
  return toQColor(model::StatusColor::secondary);
}

QString qs(const std::string& value) {
  return QString::fromStdString(value);
}

QPixmap symbolPixmap(const QWidget* widget, const std::string& name, int size, const QColor& tint) {
  return QPixmap::fromImage(
      SymbolImages::shared().image(name, size, tint, widget->devicePixelRatioF()));
}

QLabel* makeLabel(QWidget* parent, const char* objectName, qreal pixelSize, QFont::Weight weight,
                  const QColor* color = nullptr) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(objectName));
  label->setFont(fontOf(label, pixelSize, weight));
  if (color != nullptr) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, *color);
    label->setPalette(palette);
  }
  return label;
}

QHBoxLayout* makeRow(QWidget* owner, int spacing) {
  auto* row = new QHBoxLayout(owner);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(spacing);
  return row;
}

QToolButton* makeFooterButton(QWidget* parent, const char* objectName, const std::string& symbol,
                              const char* help) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setAutoRaise(true);
  button->setIcon(SymbolImages::shared().icon(symbol, secondaryText(), 14));
  button->setToolTip(QString::fromLatin1(help));
  button->setAccessibleName(QString::fromLatin1(help));
  button->setCursor(Qt::PointingHandCursor);
  return button;
}

// The header's status dot: a 9-point circle with, during a session, a soft glow in its colour.
class StatusDot final : public QWidget {
 public:
  static constexpr int kDiameter = 9;
  static constexpr int kGlowRadius = 6;

  explicit StatusDot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("statusDot"));
    setFixedSize(kDiameter + 2 * kGlowRadius, kDiameter + 2 * kGlowRadius);
  }
  void set(const QColor& color, qreal glowOpacity) {
    color_ = color;
    glow_ = glowOpacity;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    if (glow_ > 0) {
      QRadialGradient glow(centre, kDiameter / 2.0 + kGlowRadius);
      glow.setColorAt(0, withAlpha(color_, glow_));
      glow.setColorAt(1, withAlpha(color_, 0));
      painter.setPen(Qt::NoPen);
      painter.setBrush(glow);
      painter.drawEllipse(centre, kDiameter / 2.0 + kGlowRadius, kDiameter / 2.0 + kGlowRadius);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(color_);
    painter.drawEllipse(centre, kDiameter / 2.0, kDiameter / 2.0);
  }

 private:
  QColor color_;
  qreal glow_ = 0;
};

// The summary card's background: panel surface, outlined in the panel border.
class SummaryCard final : public QWidget {
 public:
  explicit SummaryCard(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("protectionSummary"));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius,
                         kCornerRadius);
    painter.fillPath(shape, toQColor(model::Palette::panelSurface()));
    painter.setPen(QPen(toQColor(model::Palette::panelBorder()), 1));
    painter.drawPath(shape);
  }
};

}  // namespace

QColor toQColor(const PopoverColor& color) {
  QColor base;
  switch (color.name) {
    case PopoverColor::Name::privacyGreen:
      base = toQColor(model::Palette::privacyGreen());
      break;
    case PopoverColor::Name::privacyGreenDark:
      base = toQColor(model::Palette::privacyGreenDark());
      break;
    case PopoverColor::Name::warningAmber:
      base = toQColor(model::Palette::warningAmber());
      break;
    case PopoverColor::Name::criticalRed:
      base = toQColor(model::Palette::criticalRed());
      break;
    case PopoverColor::Name::systemGray:
      base = QColor(142, 142, 147);
      break;
    case PopoverColor::Name::systemRed:
      base = QColor(255, 59, 48);
      break;
    case PopoverColor::Name::secondaryLabel:
      base = secondaryText();
      break;
    case PopoverColor::Name::white:
      base = Qt::white;
      break;
    case PopoverColor::Name::black:
      base = Qt::black;
      break;
  }
  return withAlpha(base, base.alphaF() * color.opacity);
}

// ---- PopoverPrimaryButton
// ------------------------------------------------------------------------

PopoverPrimaryButton::PopoverPrimaryButton(QWidget* parent) : QAbstractButton(parent) {
  setObjectName(QStringLiteral("primaryControl"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setCursor(Qt::PointingHandCursor);
  setAttribute(Qt::WA_Hover);
}

void PopoverPrimaryButton::setModel(const MenuBarPopoverViewModel& model) {
  setText(qs(model.primaryTitle()));
  detail_ = qs(model.primaryDetail());
  leading_ = model.primarySystemImage();
  trailing_ = model.primaryTrailingSystemImage();
  foreground_ = toQColor(model.primaryForegroundColor());
  const auto gradient = model.primaryGradientColors();
  gradient_ = {toQColor(gradient[0]), toQColor(gradient[1])};
  setEnabled(model.isPrimaryControlEnabled());
  setToolTip(qs(model.primaryToolTip()));
  setAccessibleName(qs(model.primaryAccessibilityLabel()));
  update();
}

QSize PopoverPrimaryButton::sizeHint() const {
  return QSize(MenuBarPopoverView::kWidth - 32, 64);
}

void PopoverPrimaryButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void PopoverPrimaryButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void PopoverPrimaryButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  if (isDown()) {
    painter.setOpacity(0.84);
    const QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.scale(0.985, 0.985);
    painter.translate(-centre);
  }
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius, kCornerRadius);
  QLinearGradient fill(0, 0, 0, height());
  fill.setColorAt(0, gradient_[0]);
  fill.setColorAt(1, gradient_[1]);
  painter.fillPath(shape, fill);
  painter.setPen(QPen(withAlpha(Qt::white, hovered_ ? 0.24 : 0.10), 1));
  painter.drawPath(shape);

  const int leading = 18;
  const int trailing = 16;
  const qreal left = 14;
  const qreal right = width() - 14;
  painter.drawImage(
      QPointF(left, (height() - leading) / 2.0),
      SymbolImages::shared().image(leading_, leading, foreground_, devicePixelRatioF()));
  painter.drawImage(
      QPointF(right - trailing, (height() - trailing) / 2.0),
      SymbolImages::shared().image(trailing_, trailing, foreground_, devicePixelRatioF()));
  const qreal textLeft = left + leading + 12;
  const qreal textWidth = right - trailing - 12 - textLeft;
  const QFont titleFont = fontOf(this, 16, QFont::DemiBold);
  const QFont detailFont = fontOf(this, 11, QFont::Medium);
  const QFontMetricsF titleMetrics(titleFont);
  const QFontMetricsF detailMetrics(detailFont);
  const QRectF detailBounds = detailMetrics.boundingRect(
      QRectF(0, 0, textWidth, detailMetrics.lineSpacing() * 2), Qt::TextWordWrap, detail_);
  const qreal detailHeight = std::min(detailBounds.height(), detailMetrics.lineSpacing() * 2);
  const qreal blockHeight = titleMetrics.height() + 1 + detailHeight;
  const qreal top = (height() - blockHeight) / 2.0;
  painter.setPen(foreground_);
  painter.setFont(titleFont);
  painter.drawText(QRectF(textLeft, top, textWidth, titleMetrics.height()),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   titleMetrics.elidedText(text(), Qt::ElideRight, textWidth));
  painter.setFont(detailFont);
  painter.setPen(withAlpha(foreground_, 0.78));
  painter.drawText(QRectF(textLeft, top + titleMetrics.height() + 1, textWidth, detailHeight),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, detail_);
}

// ---- SignalTokenView
// -------------------------------------------------------------------------------

SignalTokenView::SignalTokenView(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(10, 8, 10, 8);
  column->setSpacing(5);
  auto* top = new QWidget(this);
  auto* row = makeRow(top, 5);
  symbol_ = new QLabel(top);
  title_ = makeLabel(top, "tokenTitle", 10, QFont::Medium);
  row->addWidget(symbol_);
  row->addWidget(title_);
  row->addStretch(1);
  value_ = makeLabel(this, "tokenValue", kind == Kind::count ? 18 : 16, QFont::DemiBold);
  column->addWidget(top);
  column->addWidget(value_);
}

void SignalTokenView::set(const QString& title, const std::string& systemImage,
                          const QString& value, const QColor& color) {
  const QColor top = kind_ == Kind::status ? color : secondaryText();
  symbol_->setPixmap(symbolPixmap(this, systemImage, 10, top));
  title_->setText(title);
  QPalette palette = title_->palette();
  palette.setColor(QPalette::WindowText, top);
  title_->setPalette(palette);
  value_->setText(value);
}

void SignalTokenView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(rect()), 7, 7);
  painter.fillPath(shape, withAlpha(Qt::black, 0.035));
}

// ---- MenuBarPopoverView
// ----------------------------------------------------------------------------

MenuBarPopoverView::MenuBarPopoverView(std::weak_ptr<menubar::MenuBarController> controller,
                                       menubar::MenuBarPopoverActions actions, QWidget* parent)
    : QWidget(parent),
      controller_(std::move(controller)),
      actions_(std::make_shared<const menubar::MenuBarPopoverActions>(std::move(actions))) {
  setObjectName(QStringLiteral("menuBarPopover"));
  setFixedWidth(kWidth);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(16, 16, 16, 16);
  column->setSpacing(12);
  column->setSizeConstraint(QLayout::SetFixedSize);
  column->addWidget(buildHeader());
  column->addWidget(buildSummary());
  primary_ = new PopoverPrimaryButton(this);
  connect(primary_, &QAbstractButton::clicked, this, [actions = actions_] { actions->primary(); });
  column->addWidget(primary_);
  column->addWidget(buildActions());
  column->addWidget(buildFooter());

  if (auto strong = controller_.lock()) {
    QPointer<MenuBarPopoverView> self(this);
    changes_ = strong->observeChanges([self] {
      if (self) self->refresh();
    });
  }
  refresh();
}

MenuBarPopoverView::~MenuBarPopoverView() = default;

QWidget* MenuBarPopoverView::buildHeader() {
  auto* header = new QWidget(this);
  auto* row = makeRow(header, 11);
  auto* badge = new QLabel(header);
  badge->setFixedSize(36, 36);
  {
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(QSize(36, 36) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor green = toQColor(model::Palette::privacyGreen());
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0, 0, 36, 36), kCornerRadius, kCornerRadius);
    painter.fillPath(shape, withAlpha(green, 0.13));
    painter.drawImage(QPointF(9, 9),
                      SymbolImages::shared().image(MenuBarPopoverViewModel::headerBadgeSystemImage,
                                                   18, green, ratio));
    painter.end();
    badge->setPixmap(pixmap);
  }
  auto* titles = new QWidget(header);
  auto* column = new QVBoxLayout(titles);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(1);
  auto* name = makeLabel(titles, "productName", 18, QFont::Bold);
  name->setText(QString::fromLatin1(MenuBarPopoverViewModel::productName));
  const QColor secondary = secondaryText();
  headerSubtitle_ = makeLabel(titles, "headerSubtitle", 11, QFont::Normal, &secondary);
  column->addWidget(name);
  column->addWidget(headerSubtitle_);
  statusDot_ = new StatusDot(header);
  row->addWidget(badge);
  row->addWidget(titles);
  row->addStretch(1);
  row->addWidget(statusDot_);
  return header;
}

QWidget* MenuBarPopoverView::buildSummary() {
  auto* card = new SummaryCard(this);
  auto* column = new QVBoxLayout(card);
  column->setContentsMargins(12, 12, 12, 12);
  column->setSpacing(12);

  auto* heading = new QWidget(card);
  auto* headingRow = makeRow(heading, 10);
  summarySymbol_ = new QLabel(heading);
  summarySymbol_->setFixedWidth(24);
  summarySymbol_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  auto* texts = new QWidget(heading);
  auto* textColumn = new QVBoxLayout(texts);
  textColumn->setContentsMargins(0, 0, 0, 0);
  textColumn->setSpacing(3);
  summaryTitle_ = makeLabel(texts, "summaryTitle", 14, QFont::DemiBold);
  const QColor secondary = secondaryText();
  summaryDetail_ = makeLabel(texts, "summaryDetail", 11, QFont::Normal, &secondary);
  summaryDetail_->setWordWrap(true);
  summaryDetail_->setMaximumHeight(QFontMetrics(summaryDetail_->font()).lineSpacing() * 2);
  textColumn->addWidget(summaryTitle_);
  textColumn->addWidget(summaryDetail_);
  headingRow->addWidget(summarySymbol_, 0, Qt::AlignTop);
  headingRow->addWidget(texts, 1);
  column->addWidget(heading);

  permissionRow_ = new QWidget(card);
  permissionRow_->setObjectName(QStringLiteral("permissionRow"));
  auto* permission = makeRow(permissionRow_, 6);
  auto* grant = new QPushButton(tr("Grant"), permissionRow_);
  auto* restart = new QPushButton(tr("Restart"), permissionRow_);
  for (auto* button : {grant, restart}) button->setFont(fontOf(button, 11, QFont::DemiBold));
  connect(grant, &QPushButton::clicked, this,
          [actions = actions_] { actions->grantScreenRecording(); });
  connect(restart, &QPushButton::clicked, this, [actions = actions_] { actions->restart(); });
  permission->addStretch(1);
  permission->addWidget(grant);
  permission->addWidget(restart);
  column->addWidget(permissionRow_);

  auto* tokens = new QWidget(card);
  auto* tokenRow = makeRow(tokens, 8);
  excludedApps_ = new SignalTokenView(SignalTokenView::Kind::count, tokens);
  shareStatus_ = new SignalTokenView(SignalTokenView::Kind::status, tokens);
  tokenRow->addWidget(excludedApps_);
  tokenRow->addWidget(shareStatus_);
  column->addWidget(tokens);

  recoveryRow_ = new QWidget(card);
  recoveryRow_->setObjectName(QStringLiteral("spaceRecoveryRow"));
  auto* recovery = makeRow(recoveryRow_, 8);
  auto* retry = new QPushButton(tr("Retry Desktop Update"), recoveryRow_);
  retry->setIcon(SymbolImages::shared().icon("arrow.clockwise", Qt::black, 12));
  retry->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: black; border: none; "
                                      "border-radius: 6px; padding: 4px 10px; }")
                           .arg(toQColor(model::Palette::warningAmber()).name()));
  auto* stop = new QPushButton(tr("Stop"), recoveryRow_);
  stop->setIcon(
      SymbolImages::shared().icon("stop.fill", palette().color(QPalette::ButtonText), 12));
  for (auto* button : {retry, stop}) button->setFont(fontOf(button, 11, QFont::DemiBold));
  connect(retry, &QPushButton::clicked, this,
          [actions = actions_] { actions->retrySpaceUpdate(); });
  connect(stop, &QPushButton::clicked, this, [actions = actions_] { actions->stop(); });
  recovery->addWidget(retry);
  recovery->addWidget(stop);
  recovery->addStretch(1);
  column->addWidget(recoveryRow_);
  return card;
}

QWidget* MenuBarPopoverView::buildActions() {
  auto* actions = new QWidget(this);
  auto* column = new QVBoxLayout(actions);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(8);
  auto* standard = new QWidget(actions);
  standardRow_ = makeRow(standard, 8);
  settings_ = new ActionTile(
      "Settings", "slider.horizontal.3", true, [actions = actions_] { actions->showSettings(); },
      standard);
  standardRow_->addWidget(settings_);
  auto* restoreRow = new QWidget(actions);
  auto* restore = makeRow(restoreRow, 8);
  const auto tile = MenuBarPopoverViewModel({}).restoreTile();
  restore_ = new ActionTile(
      tile.title, tile.systemImage, tile.isEnabled, [actions = actions_] { actions->restore(); },
      restoreRow);
  restore->addWidget(restore_);
  column->addWidget(standard);
  column->addWidget(restoreRow);
  return actions;
}

void MenuBarPopoverView::setLocalVisibilityTile(const PopoverTile& tile) {
  if (localVisibility_ != nullptr && tile == shownLocalVisibility_) return;
  // A tile's title and symbol are fixed when it is made: a changed tile is made again.
  if (localVisibility_ != nullptr) {
    standardRow_->removeWidget(localVisibility_);
    localVisibility_->hide();
    localVisibility_->deleteLater();
  }
  localVisibility_ = new ActionTile(
      tile.title, tile.systemImage, tile.isEnabled,
      [actions = actions_] { actions->localVisibility(); }, settings_->parentWidget());
  standardRow_->insertWidget(0, localVisibility_);
  shownLocalVisibility_ = tile;
}

QWidget* MenuBarPopoverView::buildFooter() {
  auto* footer = new QWidget(this);
  auto* row = makeRow(footer, 8);
  row->setContentsMargins(4, 0, 4, 0);
  openPreview_ = new QToolButton(footer);
  openPreview_->setObjectName(QStringLiteral("openPreview"));
  openPreview_->setAutoRaise(true);
  openPreview_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  openPreview_->setFont(fontOf(openPreview_, 12, QFont::DemiBold));
  connect(openPreview_, &QToolButton::clicked, this,
          [actions = actions_] { actions->openPreview(); });
  // A label, not a button: it takes no clicks and no focus.
  previewHidden_ = new QToolButton(footer);
  previewHidden_->setObjectName(QStringLiteral("previewHidden"));
  previewHidden_->setAutoRaise(true);
  previewHidden_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  previewHidden_->setFont(fontOf(previewHidden_, 12, QFont::DemiBold));
  previewHidden_->setAttribute(Qt::WA_TransparentForMouseEvents);
  previewHidden_->setFocusPolicy(Qt::NoFocus);
  setup_ = makeFooterButton(footer, "setupButton", MenuBarPopoverViewModel::setupButtonSystemImage,
                            MenuBarPopoverViewModel::setupButtonHelp);
  settingsFooter_ =
      makeFooterButton(footer, "settingsButton", MenuBarPopoverViewModel::settingsButtonSystemImage,
                       MenuBarPopoverViewModel::settingsButtonHelp);
  connect(setup_, &QToolButton::clicked, this, [actions = actions_] { actions->showSetup(); });
  connect(settingsFooter_, &QToolButton::clicked, this,
          [actions = actions_] { actions->showSettings(); });
  row->addWidget(openPreview_);
  row->addWidget(previewHidden_);
  row->addStretch(1);
  row->addWidget(setup_);
  row->addWidget(settingsFooter_);
  return footer;
}

void MenuBarPopoverView::refresh() {
  auto controller = controller_.lock();
  const MenuBarPopoverViewModel model(controller ? controller->menuBarPopoverInput()
                                                 : menubar::MenuBarPopoverInput{});
  headerSubtitle_->setText(qs(model.headerSubtitle()));
  static_cast<StatusDot*>(statusDot_)
      ->set(toQColor(model.statusColor()), model.statusGlowOpacityNow());

  const QColor summaryColor = toQColor(model.summaryColor());
  summarySymbol_->setPixmap(symbolPixmap(this, model.summarySystemImage(), 18, summaryColor));
  summaryTitle_->setText(qs(model.summaryTitle()));
  summaryDetail_->setText(qs(model.summaryDetail()));
  permissionRow_->setVisible(model.showsPermissionRow());
  excludedApps_->set(
      QString::fromLatin1(MenuBarPopoverViewModel::excludedAppsTokenTitle),
      MenuBarPopoverViewModel::excludedAppsTokenSystemImage,
      QLocale().toString(model.excludedAppsCount()) + qs(model.notInstalledAppsNote()),
      secondaryText());
  shareStatus_->set(QString::fromLatin1(MenuBarPopoverViewModel::shareStatusTokenTitle),
                    model.shareStatusSystemImage(), qs(model.shareStatusValue()), summaryColor);
  recoveryRow_->setVisible(model.showsSpaceRecoveryRow());

  primary_->setModel(model);

  setLocalVisibilityTile(model.standardPrimaryActions()[0]);

  const auto preview = model.footerPreviewItem();
  auto* shown = preview.isButton ? openPreview_ : previewHidden_;
  openPreview_->setVisible(preview.isButton);
  previewHidden_->setVisible(!preview.isButton);
  shown->setText(qs(preview.label.title));
  shown->setIcon(SymbolImages::shared().icon(preview.label.systemImage, secondaryText(), 12));
  openPreview_->setEnabled(model.isFooterPreviewItemEnabled());
  adjustSize();
}

void MenuBarPopoverView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), toQColor(model::Palette::appBackground()));
}

}  // namespace corvane::ui
