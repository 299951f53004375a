#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_revealer.h"
#include "runtime/result.h"
#include "runtime/serial_queue.h"

namespace corvane::platform {

// How a file was shown.
enum class RevealRoute { selectedInFileManager, folderOpened };

// "file://" followed by the path with every byte but unreserved characters and "/" escaped.
std::string fileURI(const std::filesystem::path& path);

// Shows a file through the file manager's D-Bus service (org.freedesktop.FileManager1.ShowItems,
// which opens its folder with the file selected), and where no file manager answers, opens the
// file's folder with the desktop's opener. The D-Bus call and the opener are programs found on the
// search path, started with argument arrays; the work runs on `queue`, never on the main actor.
class FileManagerRevealer final : public FileRevealer,
                                  public std::enable_shared_from_this<FileManagerRevealer> {
 public:
  // `busAddress`: the session bus to call; absent means the user's session bus.
  FileManagerRevealer(std::string searchPath, std::shared_ptr<runtime::SerialQueue> queue,
                      std::optional<std::string> busAddress = std::nullopt);

  void reveal(const std::filesystem::path& file) override;

  // The same, on the calling thread: which way the file was shown, or why it could not be.
  runtime::Result<RevealRoute> revealNow(const std::filesystem::path& file) const;

 private:
  bool showItems(const std::filesystem::path& file) const;
  runtime::Status openFolder(const std::filesystem::path& folder) const;

  std::string searchPath_;
  std::shared_ptr<runtime::SerialQueue> queue_;
  std::optional<std::string> busAddress_;
};

}  // namespace corvane::platform
