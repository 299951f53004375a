#include "ui/app/source_guard_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/source_guard_view_model.h"
#include "ui/qt_palette_theme.h"
#include "ui/qt_window_system.h"
#include "ui/symbol_images.h"
#include "ui/widget_style.h"

namespace corvane::ui {

using app::SourceGuardViewModel;

namespace {

QColor white(qreal opacity) {
  return withAlpha(Qt::white, opacity);
}

QLabel* makeLabel(QWidget* parent, const QString& text, int pixelSize, QFont::Weight weight,
                  const QColor& colour) {
  auto* label = new QLabel(text, parent);
  label->setFont(fontOf(label, pixelSize, weight));
  label->setAlignment(Qt::AlignCenter);
  label->setWordWrap(true);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
  return label;
}

// A token: its symbol and title on a faint white fill with a faint white outline.
class GuardToken final : public QWidget {
 public:
  GuardToken(const char* title, const char* systemImage, QWidget* parent)
      : QWidget(parent), title_(QString::fromUtf8(title)), systemImage_(systemImage) {
    setFont(fontOf(this, 12, QFont::DemiBold));
    const QFontMetrics metrics(font());
    setFixedSize(12 + 14 + 6 + metrics.horizontalAdvance(title_) + 12, metrics.height() + 16);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
    painter.fillPath(shape, white(SourceGuardViewModel::tokenFillOpacity));
    painter.setPen(QPen(white(SourceGuardViewModel::tokenStrokeOpacity), 1));
    painter.drawPath(shape);
    const QColor text = white(SourceGuardViewModel::tokenTextOpacity);
    const QImage symbol = SymbolImages::shared().image(systemImage_, 14, text, devicePixelRatioF());
    painter.drawImage(QPointF(12, (height() - 14) / 2.0), symbol);
    painter.setPen(text);
    painter.drawText(QRect(12 + 14 + 6, 0, width() - 12 - 14 - 6, height()),
                     Qt::AlignVCenter | Qt::AlignLeft, title_);
  }

 private:
  QString title_;
  std::string systemImage_;
};

}  // namespace

SourceGuardView::SourceGuardView(std::string displayName, std::function<void()> stopAction,
                                 QWidget* parent)
    : QWidget(parent), stopAction_(std::move(stopAction)) {
  setObjectName(QStringLiteral("sourceGuard"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(32, 32, 32, 32);
  outer->addStretch(1);
  auto* stack = new QVBoxLayout();
  stack->setSpacing(22);
  outer->addLayout(stack);
  outer->addStretch(1);

  stack->addWidget(makeBadge(), 0, Qt::AlignHCenter);

  auto* texts = new QVBoxLayout();
  texts->setSpacing(8);
  texts->addWidget(makeLabel(this, QString::fromLatin1(SourceGuardViewModel::title), 34,
                             QFont::Bold, Qt::white));
  // The name is shown as it is.
  displayName_ = makeLabel(this, QString::fromStdString(displayName), 14, QFont::DemiBold,
                           toQColor(model::Palette::privacyGreen()));
  displayName_->setObjectName(QStringLiteral("displayName"));
  displayName_->setTextFormat(Qt::PlainText);
  texts->addWidget(displayName_);
  texts->addWidget(makeLabel(this, QString::fromLatin1(SourceGuardViewModel::message), 16,
                             QFont::Medium, white(SourceGuardViewModel::messageOpacity)));
  stack->addLayout(texts);

  auto* tokens = new QHBoxLayout();
  tokens->setSpacing(10);
  tokens->addStretch(1);
  for (const auto& token : SourceGuardViewModel::tokens) {
    tokens->addWidget(new GuardToken(token.title, token.systemImage, this));
  }
  tokens->addStretch(1);
  stack->addLayout(tokens);

  stop_ = new QPushButton(QString::fromLatin1(SourceGuardViewModel::stopTitle), this);
  stop_->setObjectName(QStringLiteral("stop"));
  stop_->setIcon(SymbolImages::shared().icon(SourceGuardViewModel::stopSymbol, Qt::white, 14));
  stop_->setFont(fontOf(stop_, 14, QFont::DemiBold));
  stop_->setFixedHeight(40);
  stop_->setAccessibleDescription(QString::fromLatin1(SourceGuardViewModel::stopAccessibilityHint));
  const QColor red = toQColor(model::Palette::criticalRed());
  stop_->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                                      " border-radius: 7px; padding: 0 18px; }")
                           .arg(red.name()));
  connect(stop_, &QPushButton::clicked, this, [this] {
    if (stopAction_) stopAction_();
  });
  stack->addWidget(stop_, 0, Qt::AlignHCenter);

  // The cancel key presses the button.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, stop_, &QPushButton::click);
}

QWidget* SourceGuardView::makeBadge() {
  auto* badge = new QLabel(this);
  badge->setFixedSize(92, 92);
  QPixmap pixmap(QSize(92, 92) * devicePixelRatioF());
  pixmap.setDevicePixelRatio(devicePixelRatioF());
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath shape;
  shape.addRoundedRect(QRectF(0, 0, 92, 92), 8, 8);
  const QColor green = toQColor(model::Palette::privacyGreen());
  painter.fillPath(
      shape,
      toQColor(model::Palette::privacyGreen().withOpacity(SourceGuardViewModel::badgeFillOpacity)));
  painter.drawImage(QPointF(24, 24), SymbolImages::shared().image(SourceGuardViewModel::badgeSymbol,
                                                                  44, green, devicePixelRatioF()));
  painter.end();
  badge->setPixmap(pixmap);
  return badge;
}

void SourceGuardView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QLinearGradient gradient(rect().topLeft(), rect().bottomRight());
  gradient.setColorAt(0, toQColor(SourceGuardViewModel::backgroundStart));
  gradient.setColorAt(1, toQColor(SourceGuardViewModel::backgroundEnd));
  painter.fillRect(rect(), gradient);
}

app::SourceGuardContentFactory makeSourceGuardContentFactory() {
  return [](const std::string& displayName,
            std::function<void()> stopAction) -> std::shared_ptr<platform::ContentView> {
    return std::make_shared<QtContentView>(new SourceGuardView(displayName, std::move(stopAction)));
  };
}

}  // namespace corvane::ui
