#include "ui/entry_icons.h"

#include <QIcon>
#include <QPainter>
#include <QSvgRenderer>
#include <filesystem>
#include <map>

#include "platform/files.h"
#include "runtime/main_actor.h"
#include "runtime/runtime.h"
#include "runtime/serial_queue.h"

namespace corvane::ui {
namespace {

// The icons decoded so far, by the name or path the entry gives. Main actor only.
std::map<std::string, QImage>& decodedIcons() {
  static std::map<std::string, QImage> icons;
  return icons;
}

void keep(const std::string& icon, const QImage& image) {
  auto& icons = decodedIcons();
  if (icons.size() >= EntryIcons::kMaxKeptIcons) icons.clear();
  icons.emplace(icon, image);
}

QImage themeIcon(const std::string& name) {
  const QIcon icon = QIcon::fromTheme(QString::fromStdString(name));
  if (icon.isNull()) return {};
  return icon.pixmap(QSize(EntryIcons::kDecodedSide, EntryIcons::kDecodedSide)).toImage();
}

}  // namespace

EntryIcons::EntryIcons() : queue_(runtime::makeSerialQueue("entry icons")) {}

EntryIcons::~EntryIcons() = default;

QImage EntryIcons::decode(const std::string& bytes) {
  const QByteArray data = QByteArray::fromStdString(bytes);
  QImage image = QImage::fromData(data);
  if (image.isNull() && data.contains("<svg")) {
    QSvgRenderer svg(data);
    if (svg.isValid()) {
      image = QImage(kDecodedSide, kDecodedSide, QImage::Format_ARGB32_Premultiplied);
      image.fill(Qt::transparent);
      QPainter painter(&image);
      svg.setAspectRatioMode(Qt::KeepAspectRatio);
      svg.render(&painter);
    }
  }
  if (image.isNull()) return {};
  return image.scaled(kDecodedSide, kDecodedSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void EntryIcons::request(const std::string& icon, std::function<void(const QImage&)> done) {
  runtime::assertMainActor();
  auto& icons = decodedIcons();
  if (auto found = icons.find(icon); found != icons.end()) {
    done(found->second);
    return;
  }
  if (!std::filesystem::path(icon).is_absolute()) {
    const QImage image = themeIcon(icon);
    keep(icon, image);
    done(image);
    return;
  }
  std::weak_ptr<Alive> alive = alive_;
  queue_->post([icon, alive, done = std::move(done)]() mutable {
    const auto bytes = platform::readFile(icon, kMaxIconFileBytes);
    QImage image = bytes ? decode(*bytes) : QImage();
    runtime::runOnMain([icon, alive, image = std::move(image), done = std::move(done)] {
      keep(icon, image);
      if (alive.lock()) done(image);
    });
  });
}

}  // namespace corvane::ui
