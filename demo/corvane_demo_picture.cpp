// Lays two screenshots side by side, each under a short caption, for `make run`'s demo: the
// real display and the shared window in one picture.
//
//   corvane_demo_picture OUT.png LEFT.png "LEFT CAPTION" RIGHT.png "RIGHT CAPTION"
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>

namespace {

constexpr int kPanelWidth = 760;
constexpr int kMargin = 24;
constexpr int kCaptionHeight = 44;
const QColor kBackground(0xF4, 0xF4, 0xF4);
const QColor kCaption(0x20, 0x20, 0x20);
const QColor kFrame(0xB0, 0xB0, 0xB0);

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fputs("usage: corvane_demo_picture OUT.png LEFT.png CAPTION RIGHT.png CAPTION\n", stderr);
    return 1;
  }
  // Text needs a GUI application; no display is needed to draw into an image.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  QImage panels[2];
  QString captions[2];
  for (int i = 0; i < 2; ++i) {
    const QImage shot(QString::fromLocal8Bit(argv[2 + 2 * i]));
    if (shot.isNull()) {
      std::fprintf(stderr, "corvane_demo_picture: cannot read %s\n", argv[2 + 2 * i]);
      return 1;
    }
    panels[i] = shot.scaledToWidth(kPanelWidth, Qt::SmoothTransformation);
    captions[i] = QString::fromLocal8Bit(argv[3 + 2 * i]);
  }
  const int panelHeight = std::max(panels[0].height(), panels[1].height());
  QImage picture(3 * kMargin + 2 * kPanelWidth, 2 * kMargin + kCaptionHeight + panelHeight,
                 QImage::Format_RGB32);
  picture.fill(kBackground);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QFont font = painter.font();
  font.setPixelSize(20);
  font.setBold(true);
  painter.setFont(font);
  for (int i = 0; i < 2; ++i) {
    const int left = kMargin + i * (kPanelWidth + kMargin);
    painter.setPen(kCaption);
    painter.drawText(QRect(left, kMargin, kPanelWidth, kCaptionHeight - 8),
                     Qt::AlignLeft | Qt::AlignVCenter, captions[i]);
    const QPoint at(left, kMargin + kCaptionHeight);
    painter.drawImage(at, panels[i]);
    painter.setPen(kFrame);
    painter.drawRect(QRect(at, panels[i].size()).adjusted(-1, -1, 0, 0));
  }
  painter.end();
  if (!picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "corvane_demo_picture: could not save %s\n", argv[1]);
    return 1;
  }
  return 0;
}
