#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace corvane::runtime {
class SerialQueue;
}

namespace corvane::ui {

// Installed applications' icons, decoded once per process and kept. An icon a desktop entry
// names by absolute path is read off the main actor, and only as a regular file of bounded size,
// so a FIFO, a device or a huge file named there cannot stall the windows; a theme icon name is
// looked up in the icon theme on the main actor. Main actor only.
class EntryIcons {
 public:
  // Pixels on each side of the decoded images (drawn smaller, sharp at twice the density).
  static constexpr int kDecodedSide = 64;
  // Icons kept at most; past that the kept ones are let go and decoded again when asked for.
  static constexpr std::size_t kMaxKeptIcons = 512;
  // The largest icon file read.
  static constexpr std::uintmax_t kMaxIconFileBytes = 1024 * 1024;

  EntryIcons();
  ~EntryIcons();
  EntryIcons(const EntryIcons&) = delete;
  EntryIcons& operator=(const EntryIcons&) = delete;

  // Calls `done` on the main actor with the icon, or a null image when it cannot be drawn: at
  // once when it is known, else once it has been read. Nothing is called after this object is
  // gone.
  void request(const std::string& icon, std::function<void(const QImage&)> done);

  // The image an icon file's bytes make (SVG or any raster format Qt reads), scaled to fit
  // kDecodedSide; null when they make none.
  static QImage decode(const std::string& bytes);

 private:
  struct Alive {};
  std::shared_ptr<runtime::SerialQueue> queue_;
  std::shared_ptr<Alive> alive_ = std::make_shared<Alive>();
};

}  // namespace corvane::ui
