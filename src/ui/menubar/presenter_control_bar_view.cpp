#include "ui/menubar/presenter_control_bar_view.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "runtime/main_actor.h"
#include "ui/keyboard_shortcut.h"
#include "ui/qt_palette_theme.h"
#include "ui/qt_window_system.h"
#include "ui/symbol_images.h"
#include "ui/widget_style.h"

namespace corvane::ui {

using menubar::PresenterControlBarControl;
using menubar::PresenterControlBarManager;
using menubar::PresenterControlBarState;
using menubar::PresenterControlBarTextStyle;
using menubar::PresenterControlBarViewInput;
using menubar::PresenterControlBarViewModel;
using share_window::ProtectedShareKeyboardCommand;

namespace {

constexpr int kCollapsedContentWidth = 194;
constexpr qreal kCornerRadius = 8;
constexpr qreal kStrokeOpacity = 0.22;
constexpr qreal kControlFillOpacity = 0.08;
constexpr int kExpandedButtonSide = 30;
constexpr int kCompactButtonSide = 27;

QString rgba(const QColor& color) {
  return QStringLiteral("rgba(%1,%2,%3,%4)")
      .arg(color.red())
      .arg(color.green())
      .arg(color.blue())
      .arg(color.alpha());
}

// A filled rounded button: the icon buttons on a faint fill, the stop buttons on red.
QString buttonStyle(const QColor& fill, const QColor& text, int radius) {
  return QStringLiteral(
             "QToolButton { background: %1; color: %2; border: none; border-radius: %3px; }"
             "QToolButton::menu-indicator { image: none; width: 0; }")
      .arg(rgba(fill), rgba(text))
      .arg(radius);
}

QPixmap symbolPixmap(const QWidget* widget, const std::string& name, int size, const QColor& tint) {
  return QPixmap::fromImage(
      SymbolImages::shared().image(name, size, tint, widget->devicePixelRatioF()));
}

QLabel* makeTextLabel(QWidget* parent, const char* objectName, qreal pixelSize,
                      QFont::Weight weight) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromLatin1(objectName));
  label->setFont(fontOf(label, pixelSize, weight));
  // Presses on texts fall through to the window background, which drags the bar.
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  return label;
}

}  // namespace

PresenterControlBarView::PresenterControlBarView(std::shared_ptr<PresenterControlBarState> state,
                                                 QWidget* parent)
    : QWidget(parent), state_(std::move(state)) {
  setObjectName(QStringLiteral("presenterControlBar"));
  setAccessibleName(QString::fromLatin1(PresenterControlBarViewModel::accessibilityLabel));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  buildExpanded();
  buildCollapsed();
  layout->addWidget(expanded_);
  layout->addWidget(collapsed_, 0, Qt::AlignCenter);
  installShortcuts();

  QPointer<PresenterControlBarView> self(this);
  auto refreshLater = [self](const auto&) {
    if (self) self->refresh();
  };
  subscriptions_.push_back(state_->mode.observeNextTurn(refreshLater));
  subscriptions_.push_back(state_->isCollapsed.observeNextTurn(refreshLater));
  subscriptions_.push_back(state_->isPreviewHidden.observeNextTurn(refreshLater));
  subscriptions_.push_back(state_->isPreviewActualSize.observeNextTurn(refreshLater));
  refresh();
}

PresenterControlBarView::~PresenterControlBarView() = default;

QToolButton* PresenterControlBarView::makeIconButton(const char* objectName, int side) {
  auto* button = new QToolButton(this);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setFixedSize(side, side);
  button->setFocusPolicy(Qt::NoFocus);
  button->setAutoRaise(true);
  button->setIconSize(QSize(11, 11));
  button->setStyleSheet(
      buttonStyle(withAlpha(palette().color(QPalette::WindowText), kControlFillOpacity),
                  palette().color(QPalette::WindowText), 7));
  return button;
}

void PresenterControlBarView::buildExpanded() {
  expanded_ = new QWidget(this);
  expanded_->setObjectName(QStringLiteral("expanded"));
  expanded_->setFixedSize(static_cast<int>(PresenterControlBarManager::expandedSize.width),
                          static_cast<int>(PresenterControlBarManager::expandedSize.height));
  auto* row = new QHBoxLayout(expanded_);
  row->setContentsMargins(11, 0, 11, 0);
  row->setSpacing(8);

  grip_ = new QLabel(expanded_);
  grip_->setAttribute(Qt::WA_TransparentForMouseEvents);
  grip_->setPixmap(symbolPixmap(this, PresenterControlBarViewModel::gripSymbol, 10,
                                toQColor(model::StatusColor::secondary)));
  statusIcon_ = new QLabel(expanded_);
  statusIcon_->setAttribute(Qt::WA_TransparentForMouseEvents);
  row->addWidget(grip_);
  row->addWidget(statusIcon_);

  auto* texts = new QWidget(expanded_);
  texts->setAttribute(Qt::WA_TransparentForMouseEvents);
  texts->setFixedWidth(218);
  auto* column = new QVBoxLayout(texts);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(1);
  title_ = makeTextLabel(texts, "title", 12, QFont::DemiBold);
  title_->setWordWrap(true);
  subtitle_ = makeTextLabel(texts, "subtitle", 10.5, QFont::Medium);
  summary_ = makeTextLabel(texts, "summary", 9.5, QFont::Medium);
  summary_->setStyleSheet(
      QStringLiteral("color: %1").arg(rgba(toQColor(model::StatusColor::secondary))));
  column->addWidget(title_);
  column->addWidget(subtitle_);
  column->addWidget(summary_);
  row->addWidget(texts);
  row->addStretch(1);

  sizeMenu_ = new QToolButton(expanded_);
  sizeMenu_->setObjectName(QStringLiteral("previewSize"));
  sizeMenu_->setFocusPolicy(Qt::NoFocus);
  sizeMenu_->setPopupMode(QToolButton::InstantPopup);
  sizeMenu_->setMinimumSize(42, 30);
  sizeMenu_->setMaximumHeight(30);
  sizeMenu_->setFont(fontOf(sizeMenu_, 10.5, QFont::DemiBold));
  sizeMenu_->setStyleSheet(
      buttonStyle(withAlpha(palette().color(QPalette::WindowText), kControlFillOpacity),
                  palette().color(QPalette::WindowText), 7) +
      QStringLiteral("QToolButton { padding: 0 8px; }"));
  sizeMenu_->setToolTip(QStringLiteral("Preview Size"));
  auto* menu = new QMenu(sizeMenu_);
  const auto items =
      PresenterControlBarViewModel(PresenterControlBarViewInput{}).previewSizeMenuItems();
  const QColor menuTint = palette().color(QPalette::WindowText);
  fitAction_ = menu->addAction(SymbolImages::shared().icon(items[0].systemImage, menuTint),
                               QString::fromStdString(items[0].title));
  actualSizeAction_ = menu->addAction(SymbolImages::shared().icon(items[1].systemImage, menuTint),
                                      QString::fromStdString(items[1].title));
  fitAction_->setShortcut(keySequenceFor(ProtectedShareKeyboardCommand::fit));
  actualSizeAction_->setShortcut(keySequenceFor(ProtectedShareKeyboardCommand::actualSize));
  // Also on the bar itself, so the keys act while the bar is key and the menu is closed.
  for (QAction* action : {fitAction_, actualSizeAction_}) {
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
  }
  connect(fitAction_, &QAction::triggered, this,
          [this] { perform(&PresenterControlBarState::fitPreviewAction); });
  connect(actualSizeAction_, &QAction::triggered, this,
          [this] { perform(&PresenterControlBarState::actualSizePreviewAction); });
  sizeMenu_->setMenu(menu);
  row->addWidget(sizeMenu_);

  move_ = makeIconButton("movePreview", kExpandedButtonSide);
  visibility_ = makeIconButton("previewVisibility", kExpandedButtonSide);
  secondary_ = makeIconButton("secondary", kExpandedButtonSide);
  collapse_ = makeIconButton("collapse", kExpandedButtonSide);
  for (auto* button : {move_, visibility_, secondary_, collapse_}) {
    button->setParent(expanded_);
    row->addWidget(button);
  }
  connect(move_, &QToolButton::clicked, this,
          [this] { perform(&PresenterControlBarState::movePreviewAction); });
  connect(visibility_, &QToolButton::clicked, this,
          [this] { perform(&PresenterControlBarState::previewVisibilityAction); });
  connect(secondary_, &QToolButton::clicked, this,
          [this] { performAfterThisEvent(&PresenterControlBarState::secondaryAction); });
  connect(collapse_, &QToolButton::clicked, this,
          [this] { perform(&PresenterControlBarState::collapseAction); });

  primary_ = new QToolButton(expanded_);
  primary_->setObjectName(QStringLiteral("primary"));
  primary_->setFocusPolicy(Qt::NoFocus);
  primary_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  primary_->setFixedHeight(30);
  primary_->setIconSize(QSize(11, 11));
  primary_->setFont(fontOf(primary_, 11, QFont::DemiBold));
  primary_->setStyleSheet(buttonStyle(toQColor(model::Palette::criticalRed()), Qt::white, 7) +
                          QStringLiteral("QToolButton { padding: 0 9px; }"));
  connect(primary_, &QToolButton::clicked, this,
          [this] { performAfterThisEvent(&PresenterControlBarState::primaryAction); });
  row->addWidget(primary_);
}

void PresenterControlBarView::buildCollapsed() {
  collapsed_ = new QWidget(this);
  collapsed_->setObjectName(QStringLiteral("collapsed"));
  collapsed_->setFixedSize(kCollapsedContentWidth,
                           static_cast<int>(PresenterControlBarManager::collapsedSize.height));
  collapsed_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(collapsed_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu* menu = makeContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(collapsed_->mapToGlobal(at));
  });
  auto* row = new QHBoxLayout(collapsed_);
  row->setContentsMargins(9, 0, 9, 0);
  row->setSpacing(8);
  compactStatusIcon_ = new QLabel(collapsed_);
  compactStatusIcon_->setAttribute(Qt::WA_TransparentForMouseEvents);
  statusWord_ = makeTextLabel(collapsed_, "statusWord", 11, QFont::DemiBold);
  row->addWidget(compactStatusIcon_);
  row->addWidget(statusWord_);
  row->addStretch(1);
  expand_ = makeIconButton("expand", kCompactButtonSide);
  expand_->setParent(collapsed_);
  row->addWidget(expand_);
  connect(expand_, &QToolButton::clicked, this,
          [this] { perform(&PresenterControlBarState::collapseAction); });
  compactStop_ = new QToolButton(collapsed_);
  compactStop_->setObjectName(QStringLiteral("compactStop"));
  compactStop_->setFocusPolicy(Qt::NoFocus);
  compactStop_->setFixedSize(kCompactButtonSide, kCompactButtonSide);
  compactStop_->setIconSize(QSize(10, 10));
  compactStop_->setStyleSheet(buttonStyle(toQColor(model::Palette::criticalRed()), Qt::white, 6));
  connect(compactStop_, &QToolButton::clicked, this,
          [this] { performAfterThisEvent(&PresenterControlBarState::primaryAction); });
  row->addWidget(compactStop_);
}

QMenu* PresenterControlBarView::makeContextMenu() {
  auto* menu = new QMenu(this);
  QAction* move =
      menu->addAction(QString::fromLatin1(PresenterControlBarViewModel::moveToNextCornerTitle));
  connect(move, &QAction::triggered, this,
          [this] { perform(&PresenterControlBarState::repositionAction); });
  return menu;
}

void PresenterControlBarView::installShortcuts() {
  auto make = [this](ProtectedShareKeyboardCommand command,
                     menubar::PresenterControlBarAction PresenterControlBarState::*slot,
                     bool afterThisEvent) {
    auto* shortcut = new QShortcut(keySequenceFor(command), this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this, slot, afterThisEvent] {
      afterThisEvent ? performAfterThisEvent(slot) : perform(slot);
    });
    return shortcut;
  };
  stopShortcut_ =
      make(ProtectedShareKeyboardCommand::stop, &PresenterControlBarState::primaryAction, true);
  secondaryShortcut_ = make(ProtectedShareKeyboardCommand::togglePause,
                            &PresenterControlBarState::secondaryAction, true);
  moveShortcut_ = make(ProtectedShareKeyboardCommand::movePreview,
                       &PresenterControlBarState::movePreviewAction, false);
  visibilityShortcut_ = make(ProtectedShareKeyboardCommand::togglePreviewVisibility,
                             &PresenterControlBarState::previewVisibilityAction, false);
}

void PresenterControlBarView::perform(
    menubar::PresenterControlBarAction PresenterControlBarState::*slot) {
  // Read through the state now, not from a copy taken when the bar was drawn.
  menubar::perform((*state_).*slot);
}

void PresenterControlBarView::performAfterThisEvent(
    menubar::PresenterControlBarAction PresenterControlBarState::*slot) {
  // The action is read now but runs on the main actor's next turn: Pause assigns the very slot
  // it was read from, and Stop takes this view down, neither of which may happen inside the
  // press that is still being delivered to one of its buttons.
  auto action = (*state_).*slot;
  if (!action) return;
  runtime::postToMain(std::weak_ptr<PresenterControlBarState>(state_),
                      [action = std::move(action)](PresenterControlBarState&) { action(); });
}

void PresenterControlBarView::applyIconButton(QToolButton* button,
                                              const PresenterControlBarControl& control) {
  button->setVisible(control.isShown);
  if (!control.isShown) return;
  const QColor tint = button == compactStop_ || button == primary_
                          ? QColor(Qt::white)
                          : palette().color(QPalette::WindowText);
  button->setIcon(SymbolImages::shared().icon(control.systemImage, tint, 11));
  button->setText(QString::fromStdString(control.title));
  button->setAccessibleName(QString::fromStdString(control.help));
  // The hover help names the action and, where it has one, its shortcut.
  QString toolTip = QString::fromStdString(control.help);
  if (const auto shortcut = shortcutOf(button)) {
    toolTip += QStringLiteral(" (%1)").arg(shortcut->toString(QKeySequence::NativeText));
  }
  button->setToolTip(toolTip);
}

std::optional<QKeySequence> PresenterControlBarView::shortcutOf(const QToolButton* button) const {
  if (button == primary_ || button == compactStop_) return stopShortcut_->key();
  if (button == secondary_) return secondaryShortcut_->key();
  if (button == move_) return moveShortcut_->key();
  if (button == visibility_) return visibilityShortcut_->key();
  return std::nullopt;
}

void PresenterControlBarView::refresh() {
  const PresenterControlBarViewModel model(PresenterControlBarViewInput::from(*state_));
  const bool collapsed = model.isCollapsed();
  expanded_->setVisible(!collapsed);
  collapsed_->setVisible(collapsed);

  const QColor tint = toQColor(model.statusTint());
  statusIcon_->setPixmap(symbolPixmap(this, model.statusSymbol(), 14, tint));
  compactStatusIcon_->setPixmap(symbolPixmap(this, model.statusSymbol(), 13, tint));

  title_->setText(QString::fromStdString(model.title()));
  subtitle_->setText(QString::fromStdString(model.subtitle()));
  const QColor subtitleColour = model.subtitleStyle() == PresenterControlBarTextStyle::warningAmber
                                    ? toQColor(model::Palette::warningAmber())
                                    : toQColor(model::StatusColor::secondary);
  subtitle_->setStyleSheet(QStringLiteral("color: %1").arg(rgba(subtitleColour)));
  summary_->setText(QString::fromStdString(model.statusSummary()));

  const auto sizeMenu = model.previewSizeMenu();
  sizeMenu_->setVisible(sizeMenu.isShown);
  sizeMenu_->setText(QString::fromStdString(sizeMenu.title));
  sizeMenu_->setAccessibleName(QString::fromStdString(sizeMenu.help));
  applyIconButton(move_, model.movePreviewControl());
  applyIconButton(visibility_, model.previewVisibilityControl());
  applyIconButton(secondary_, model.secondaryControl());
  applyIconButton(collapse_, model.collapseControl());
  applyIconButton(primary_, model.primaryControl());

  statusWord_->setText(QString::fromStdString(model.statusWord()));
  applyIconButton(expand_, model.expandControl());
  applyIconButton(compactStop_, model.compactStopControl());

  // A shortcut acts only while its control is drawn.
  stopShortcut_->setEnabled(true);
  secondaryShortcut_->setEnabled(!collapsed && model.secondaryControl().isShown);
  moveShortcut_->setEnabled(!collapsed && model.movePreviewControl().isShown);
  visibilityShortcut_->setEnabled(!collapsed && model.previewVisibilityControl().isShown);
  fitAction_->setEnabled(!collapsed && sizeMenu.isShown);
  actualSizeAction_->setEnabled(!collapsed && sizeMenu.isShown);
  update();
}

QRect PresenterControlBarView::barRect() const {
  // The collapsed bar is narrower than its panel and centred in it.
  if (!state_->isCollapsed.value()) return rect();
  const int width = std::min(kCollapsedContentWidth, this->width());
  return QRect((this->width() - width) / 2, 0, width, height());
}

void PresenterControlBarView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(barRect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius,
                       kCornerRadius);
  painter.fillPath(shape, toQColor(model::Palette::panelSurface()));
  painter.setPen(QPen(withAlpha(Qt::white, kStrokeOpacity), 1));
  painter.drawPath(shape);
}

void PresenterControlBarView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Without a compositor nothing outside the rounded bar may show: the window takes its shape.
  if (window() == this || window() == nullptr) return;
  QPainterPath shape;
  const QRect bar = barRect();
  shape.addRoundedRect(QRectF(QRect(mapTo(window(), bar.topLeft()), bar.size())), kCornerRadius,
                       kCornerRadius);
  window()->setMask(QRegion(shape.toFillPolygon().toPolygon()));
}

menubar::PresenterControlBarContentFactory makePresenterControlBarContentFactory() {
  return [](const std::shared_ptr<PresenterControlBarState>& state)
             -> std::shared_ptr<platform::ContentView> {
    return std::make_shared<QtContentView>(new PresenterControlBarView(state));
  };
}

}  // namespace corvane::ui
