#include "ui/protected_share_window_view.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPointer>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include "runtime/runtime.h"
#include "share_window/keyboard_command.h"
#include "share_window/window_geometry.h"
#include "ui/design_components.h"
#include "ui/keyboard_shortcut.h"
#include "ui/protected_share_canvas.h"
#include "ui/qt_palette_theme.h"
#include "ui/qt_window_system.h"
#include "ui/symbol_images.h"

namespace corvane::ui {

using share_window::ButtonModel;
using share_window::ProtectedShareKeyboardCommand;
using share_window::ProtectedShareWindowViewModel;

namespace {

void applyButton(QToolButton* button, const ButtonModel& model, const QColor& tint) {
  button->setText(QString::fromStdString(model.title));
  button->setIcon(SymbolImages::shared().icon(model.systemImage, tint, 14));
  button->setEnabled(model.isEnabled);
  button->setVisible(model.isVisible);
  button->setChecked(model.isSelected);
  button->setToolTip(QString::fromStdString(model.help));
  button->setAccessibleName(QString::fromStdString(model.title));
}

}  // namespace

ProtectedShareWindowView::ProtectedShareWindowView(
    std::weak_ptr<share_window::ProtectedShareWindowManager> manager,
    std::weak_ptr<share_window::ProtectedShareWindowController> controller,
    std::shared_ptr<NativeImagePresenter> presenter, QWidget* parent)
    : QWidget(parent), manager_(std::move(manager)), controller_(std::move(controller)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* strip = new QWidget(this);
  strip->setObjectName(QStringLiteral("accessory"));
  strip->setAutoFillBackground(true);
  strip->setFixedHeight(static_cast<int>(share_window::kAccessoryStripHeight));
  auto* row = new QHBoxLayout(strip);
  row->setContentsMargins(10, 4, 10, 4);
  row->setSpacing(6);
  status_ = new StatusPill("", "shield", QColor(), strip);
  row->addWidget(status_);
  resolution_ = new QLabel(strip);
  resolution_->setObjectName(QStringLiteral("resolution"));
  row->addWidget(resolution_);
  row->addStretch(1);
  fit_ = makeButton("fit");
  actual_ = makeButton("actualSize");
  move_ = makeButton("move");
  pause_ = makeButton("pause");
  hide_ = makeButton("hideLocally");
  primary_ = makeButton("primary");
  fit_->setCheckable(true);
  actual_->setCheckable(true);
  for (auto* button : {fit_, actual_, move_, pause_, hide_, primary_}) row->addWidget(button);
  layout->addWidget(strip);

  std::shared_ptr<capture::ProtectedOutputSurface> surface;
  if (auto c = controller_.lock()) surface = c->protectedOutputSurface();
  canvas_ = new ProtectedShareCanvas(surface, presenter, this);
  layout->addWidget(canvas_, 1);

  connect(fit_, &QToolButton::clicked, this, [this] { send(ProtectedShareKeyboardCommand::fit); });
  connect(actual_, &QToolButton::clicked, this,
          [this] { send(ProtectedShareKeyboardCommand::actualSize); });
  connect(move_, &QToolButton::clicked, this,
          [this] { send(ProtectedShareKeyboardCommand::movePreview); });
  connect(pause_, &QToolButton::clicked, this, [this] {
    if (auto c = controller_.lock()) c->togglePublishingPaused();
  });
  connect(hide_, &QToolButton::clicked, this, [this] {
    if (auto c = controller_.lock()) c->requestHideProtectedShareWindowLocally();
  });
  connect(primary_, &QToolButton::clicked, this, [this] {
    auto m = manager_.lock();
    auto c = controller_.lock();
    if (!m || !c) return;
    if (m->isSessionWindow()) {
      c->stopDemoMode();
    } else {
      c->toggleDemoMode();
    }
  });
  installShortcuts();

  if (auto m = manager_.lock()) {
    QPointer<ProtectedShareWindowView> self(this);
    auto refreshLater = [self](const auto&) {
      if (self) self->refresh();
    };
    subscriptions_.push_back(m->presentationPublisher().observeNextTurn(refreshLater));
    subscriptions_.push_back(m->viewportPublisher().observeNextTurn(refreshLater));
    if (m->accessoryView()) subscriptions_.push_back(m->accessoryView()->observe(refreshLater));
  }
  refresh();
}

ProtectedShareWindowView::~ProtectedShareWindowView() = default;

QToolButton* ProtectedShareWindowView::makeButton(const char* objectName) {
  auto* button = new QToolButton(this);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

void ProtectedShareWindowView::installShortcuts() {
  for (auto command : share_window::kAllKeyboardCommands) {
    auto* shortcut = new QShortcut(keySequenceFor(command), this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this, command] { send(command); });
  }
}

void ProtectedShareWindowView::send(ProtectedShareKeyboardCommand command) {
  if (auto c = controller_.lock()) c->handleKeyboardCommand(command);
}

share_window::ProtectedShareWindowViewInput ProtectedShareWindowView::currentInput() const {
  share_window::ProtectedShareWindowViewInput input;
  if (auto m = manager_.lock()) {
    input.presentation = m->presentation();
    if (m->accessoryView()) input.accessory = m->accessoryView()->state();
    input.viewport = m->viewportState();
    input.directShareTestState = m->directShareTestState();
  }
  return input;
}

void ProtectedShareWindowView::refresh() {
  const ProtectedShareWindowViewModel model(currentInput());
  status_->set(model.statusTitle(), model.statusSymbol(), toQColor(model.statusColor()));
  resolution_->setText(QString::fromStdString(model.resolutionText()));
  const QColor tint = palette().color(QPalette::ButtonText);
  applyButton(fit_, model.fitButton(), tint);
  applyButton(actual_, model.actualSizeButton(), tint);
  applyButton(move_, model.moveButton(), tint);
  applyButton(pause_, model.pauseButton(), tint);
  applyButton(hide_, model.hideButton(), tint);
  applyButton(primary_, model.primaryButton(), toQColor(model.primaryTint()));
  canvas_->setPlaceholder(QString::fromStdString(model.placeholderTitle()),
                          QString::fromStdString(model.placeholderDetail()));
  canvas_->setViewport(currentInput().viewport);
  canvas_->setDrawsOutput(model.drawsOutput());
}

share_window::ProtectedShareContentFactory makeProtectedShareContentFactory(
    std::shared_ptr<NativeImagePresenter> presenter) {
  return
      [presenter](share_window::ProtectedShareWindowManager& manager,
                  const std::shared_ptr<share_window::ProtectedShareWindowController>& controller)
          -> std::shared_ptr<platform::ContentView> {
        auto* view = new ProtectedShareWindowView(manager.weak_from_this(), controller, presenter);
        return std::make_shared<QtContentView>(view);
      };
}

}  // namespace corvane::ui
