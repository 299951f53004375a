#include "platform/linux/file_manager_revealer.h"

#include <cstdio>

#include "platform/process.h"
#include "platform/program_path.h"

namespace corvane::platform {
namespace {

// A file manager that does not answer within this is taken as absent.
constexpr double kShowItemsTimeoutSeconds = 5;

bool isUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '/';
}

runtime::Status launched(const ProcessRequest& request) {
  auto started = launchDetachedProcess(request);
  if (!started) return started.error();
  return runtime::Status::success();
}

}  // namespace

std::string fileURI(const std::filesystem::path& path) {
  std::string uri = "file://";
  for (const unsigned char c : path.string()) {
    if (isUnreserved(c)) {
      uri += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    }
  }
  return uri;
}

FileManagerRevealer::FileManagerRevealer(std::string searchPath,
                                         std::shared_ptr<runtime::SerialQueue> queue,
                                         std::optional<std::string> busAddress)
    : searchPath_(std::move(searchPath)),
      queue_(std::move(queue)),
      busAddress_(std::move(busAddress)) {}

void FileManagerRevealer::reveal(const std::filesystem::path& file) {
  queue_->post([self = shared_from_this(), file] { (void)self->revealNow(file); });
}

runtime::Result<RevealRoute> FileManagerRevealer::revealNow(
    const std::filesystem::path& file) const {
  const auto absolute = file.is_absolute() ? file : std::filesystem::absolute(file);
  if (showItems(absolute)) return RevealRoute::selectedInFileManager;
  if (auto opened = openFolder(absolute.parent_path()); !opened) return opened.error();
  return RevealRoute::folderOpened;
}

bool FileManagerRevealer::showItems(const std::filesystem::path& file) const {
  const auto gdbus = findProgram("gdbus", searchPath_);
  if (!gdbus) return false;
  std::vector<std::string> arguments{"call"};
  if (busAddress_) {
    arguments.insert(arguments.end(), {"--address", *busAddress_});
  } else {
    arguments.push_back("--session");
  }
  // The escaped URI holds no quote or backslash, so it stands as it is inside the quoted
  // GVariant text.
  arguments.insert(arguments.end(), {"--dest", "org.freedesktop.FileManager1", "--object-path",
                                     "/org/freedesktop/FileManager1", "--method",
                                     "org.freedesktop.FileManager1.ShowItems", "--timeout",
                                     std::to_string(static_cast<int>(kShowItemsTimeoutSeconds)),
                                     "['" + fileURI(file) + "']", "''"});
  const auto output =
      runProcess(ProcessRequest{*gdbus, arguments, {}, {}}, kShowItemsTimeoutSeconds + 1);
  return output && output->exitStatus == 0;
}

runtime::Status FileManagerRevealer::openFolder(const std::filesystem::path& folder) const {
  if (const auto opener = findProgram("xdg-open", searchPath_)) {
    return launched(ProcessRequest{*opener, {folder.string()}, {}, {}});
  }
  if (const auto gio = findProgram("gio", searchPath_)) {
    return launched(ProcessRequest{*gio, {"open", folder.string()}, {}, {}});
  }
  return runtime::Status::failure("No file manager could show " + folder.string() + ".");
}

}  // namespace corvane::platform
