#include "ui/menubar/qt_menu_bar_status_item.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "ui/menubar/menu_bar_popover_view.h"
#include "ui/menubar/status_notifier_host_watch.h"
#include "ui/menubar/tray_icon_image.h"
#include "ui/quit_shortcut.h"
#include "ui/symbol_images.h"

namespace corvane::ui {

// The popover window: a popup that closes on a press outside it or on Escape, and says which
// press closed it.
class QtMenuBarStatusItem::Popup final : public QWidget {
 public:
  Popup() : QWidget(nullptr, Qt::Popup) {
    setObjectName(QStringLiteral("menuBarPopoverWindow"));
    // The press that closes the popup must not reach the icon beneath as a new click.
    setAttribute(Qt::WA_NoMouseReplay);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
  }

  std::function<void()> didShow;
  std::function<void(std::optional<platform::Point>)> didClose;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    if (!rect().contains(event->position().toPoint())) {
      const QPointF global = event->globalPosition();
      closingPress_ = platform::Point{global.x(), global.y()};
    }
    QWidget::mousePressEvent(event);
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape) {
      close();
      return;
    }
    QWidget::keyPressEvent(event);
  }
  void showEvent(QShowEvent* event) override {
    closingPress_.reset();
    QWidget::showEvent(event);
    if (didShow) didShow();
  }
  void hideEvent(QHideEvent* event) override {
    QWidget::hideEvent(event);
    const auto press = std::exchange(closingPress_, std::nullopt);
    if (didClose) didClose(press);
  }

 private:
  std::optional<platform::Point> closingPress_;
};

// Draws the icon again when the desktop's colours change. Qt tells every widget of the change:
// the many announcements of one change lead to one redraw.
class QtMenuBarStatusItem::ThemeWatcher final : public QObject {
 public:
  explicit ThemeWatcher(std::function<void()> changed) : changed_(std::move(changed)) {
    qApp->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::ApplicationPaletteChange && !pending_) {
      pending_ = true;
      QTimer::singleShot(0, this, [this] {
        pending_ = false;
        changed_();
      });
    }
    return false;
  }

 private:
  std::function<void()> changed_;
  bool pending_ = false;
};

QtMenuBarStatusItem::QtMenuBarStatusItem(std::function<bool(WId)> isPanelHidden)
    : isPanelHidden_(std::move(isPanelHidden)),
      icon_(std::make_unique<QSystemTrayIcon>()),
      themeWatcher_(std::make_unique<ThemeWatcher>([this] { applySymbol(); })),
      statusNotifierHosts_(std::make_unique<StatusNotifierHostWatch>()),
      popup_(std::make_unique<Popup>()) {
  QObject::connect(icon_.get(), &QSystemTrayIcon::activated, icon_.get(),
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::Trigger && activation_) activation_();
                   });
}

QtMenuBarStatusItem::~QtMenuBarStatusItem() {
  popup_->didShow = nullptr;
  popup_->didClose = nullptr;
  if (icon_) icon_->setContextMenu(nullptr);
}

void QtMenuBarStatusItem::setMenuActions(std::function<void()> open, std::function<void()> settings,
                                         std::function<void()> quit) {
  auto menu = std::make_unique<QMenu>();
  menu->setObjectName(QStringLiteral("trayContextMenu"));
  // Each runs once the menu closed and the click that chose it returned.
  auto add = [&menu](const char* title, std::function<void()> action) {
    QAction* item = menu->addAction(QString::fromUtf8(title));
    QObject::connect(item, &QAction::triggered, menu.get(), [action = std::move(action)] {
      if (action) QTimer::singleShot(0, action);
    });
    return item;
  };
  add(kOpenTitle, std::move(open));
  add(kSettingsTitle, std::move(settings));
  menu->addSeparator();
  add(kQuitTitle, quit)->setShortcut(QuitShortcut::keySequence());
  icon_->setContextMenu(menu.get());
  contextMenu_ = std::move(menu);
  quitShortcut_ = std::make_unique<QuitShortcut>(std::move(quit));
}

void QtMenuBarStatusItem::setVisible(bool visible) {
  visibleRequested_ = visible;
  // Qt shows no icon without an image: a visible icon waits for its first symbol.
  if (!icon_->icon().isNull() || !visible) icon_->setVisible(visible);
}

bool QtMenuBarStatusItem::isVisible() const {
  return icon_->isVisible();
}

bool QtMenuBarStatusItem::isTrayAvailable() const {
  return statusNotifierHosts_->isHostRegistered() || embeddedIconWindow() != nullptr;
}

QWidget* QtMenuBarStatusItem::embeddedIconWindow() const {
  if (embeddedIconWindow_) return embeddedIconWindow_;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") == 0)
      return embeddedIconWindow_ = widget;
  }
  return nullptr;
}

bool QtMenuBarStatusItem::isIconInTray() const {
  if (!icon_->isVisible() || !isTrayAvailable()) return false;
  // An XEmbed tray holds a window of ours; a StatusNotifierItem host holds nothing we can see,
  // and is trusted once it is there.
  if (QWidget* embedded = embeddedIconWindow()) return embedded->isVisible();
  return true;
}

bool QtMenuBarStatusItem::isTrayHidden() const {
  if (!isPanelHidden_ || !isTrayAvailable()) return false;
  QWidget* embedded = embeddedIconWindow();
  return embedded != nullptr && isPanelHidden_(embedded->winId());
}

std::optional<platform::Rect> QtMenuBarStatusItem::geometry() const {
  const QRect rect = icon_->geometry();
  if (rect.isEmpty() && embeddedIconWindow() == nullptr) return std::nullopt;
  return platform::Rect{{double(rect.x()), double(rect.y())},
                        {double(std::max(rect.width(), 0)), double(std::max(rect.height(), 0))}};
}

bool QtMenuBarStatusItem::setSymbol(const std::string& systemImage) {
  if (!SymbolImages::shared().hasSymbol(systemImage)) return false;
  symbol_ = systemImage;
  applySymbol();
  return true;
}

void QtMenuBarStatusItem::applySymbol() {
  if (symbol_.empty()) return;
  // The theme's text colour, which the panels of the same theme use, outlined for the panels
  // that are not drawn in that theme (a dark tray under a light theme, and the other way round).
  icon_->setIcon(
      outlinedSymbolIcon(symbol_, QApplication::palette().color(QPalette::WindowText), kIconSize));
  if (visibleRequested_ && !icon_->isVisible()) icon_->setVisible(true);
}

void QtMenuBarStatusItem::setToolTip(const std::string& text) {
  icon_->setToolTip(QString::fromStdString(text));
}

void QtMenuBarStatusItem::setActivationHandler(std::function<void()> handler) {
  activation_ = std::move(handler);
}

void QtMenuBarStatusItem::setPopoverContent(std::weak_ptr<menubar::MenuBarController> controller,
                                            menubar::MenuBarPopoverActions actions) {
  controller_ = controller;
  actions_.emplace(actions);
  delete popoverView_;
  popoverView_ = new MenuBarPopoverView(std::move(controller), std::move(actions), popup_.get());
  popup_->layout()->addWidget(popoverView_);
}

void QtMenuBarStatusItem::setPopoverHandlers(
    std::function<void()> didShow, std::function<void(std::optional<platform::Point>)> didClose) {
  popup_->didShow = std::move(didShow);
  popup_->didClose = std::move(didClose);
}

QWidget* QtMenuBarStatusItem::popover() const {
  return popup_.get();
}

bool QtMenuBarStatusItem::isPopoverShown() const {
  return popup_->isVisible();
}

QPoint QtMenuBarStatusItem::popoverOrigin(const QRect& icon, const QSize& popover,
                                          const QRect& available) {
  int x = icon.center().x() - popover.width() / 2;
  int y = icon.center().y() <= available.center().y() ? icon.bottom() + 1 + kPopoverGap
                                                      : icon.top() - kPopoverGap - popover.height();
  x = std::clamp(x, available.left(),
                 std::max(available.left(), available.right() + 1 - popover.width()));
  y = std::clamp(y, available.top(),
                 std::max(available.top(), available.bottom() + 1 - popover.height()));
  return {x, y};
}

void QtMenuBarStatusItem::showPopover() {
  if (popoverView_ != nullptr) popoverView_->refresh();
  popup_->adjustSize();
  QRect anchor = icon_->geometry();
  if (anchor.isEmpty()) anchor = QRect(QCursor::pos(), QSize(1, 1));
  QScreen* screen = QGuiApplication::screenAt(anchor.center());
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1, 1);
  popup_->move(popoverOrigin(anchor, popup_->size(), available));
  popup_->show();
}

void QtMenuBarStatusItem::closePopover() {
  popup_->close();
}

bool QtMenuBarStatusItem::showTaskbarWindow() {
  if (!taskbarWindow_) {
    taskbarWindow_ = std::make_unique<QWidget>();
    taskbarWindow_->setObjectName(QStringLiteral("menuBarFallbackWindow"));
    taskbarWindow_->setWindowTitle(QString::fromLatin1(kTaskbarWindowTitle));
    auto* layout = new QVBoxLayout(taskbarWindow_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (actions_) layout->addWidget(new MenuBarPopoverView(controller_, *actions_));
  }
  taskbarWindow_->show();
  taskbarWindow_->raise();
  taskbarWindow_->activateWindow();
  return taskbarWindow_->isVisible();
}

}  // namespace corvane::ui
