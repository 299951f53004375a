#include "model/diagnostic_log_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/files.h"

namespace corvane::model {
namespace fs = std::filesystem;
namespace {

// Each whole log file is read at most this large; a bigger one was not written by us.
constexpr std::uintmax_t maxReadableFileBytes = 64ull * 1024 * 1024;

runtime::Status writeFailure(const fs::path& path, int error) {
  return runtime::Status::failure("Could not write the diagnostics log " + path.string() + ": " +
                                  std::strerror(error) + ".");
}

bool endsWithoutLineFeed(int fd, off_t size) {
  if (size <= 0) return false;
  char last = '\n';
  return ::pread(fd, &last, 1, size - 1) == 1 && last != '\n';
}

}  // namespace

DiagnosticLogFiles::DiagnosticLogFiles(fs::path folder, DiagnosticLogLimits limits)
    : folder_(std::move(folder)), limits_(limits) {
  if (limits_.rotatedFileCount < 0) limits_.rotatedFileCount = 0;
}

fs::path DiagnosticLogFiles::rotatedFile(int number) const {
  return folder_ / ("events." + std::to_string(number) + ".jsonl");
}

runtime::Status DiagnosticLogFiles::rotate() {
  std::error_code ignored;
  if (limits_.rotatedFileCount == 0) {
    fs::remove(currentFile(), ignored);
    return runtime::Status::success();
  }
  fs::remove(rotatedFile(limits_.rotatedFileCount), ignored);
  for (int number = limits_.rotatedFileCount - 1; number >= 1; --number) {
    if (fs::exists(rotatedFile(number), ignored)) {
      fs::rename(rotatedFile(number), rotatedFile(number + 1), ignored);
    }
  }
  std::error_code error;
  fs::rename(currentFile(), rotatedFile(1), error);
  if (error) {
    return runtime::Status::failure("Could not rotate the diagnostics log: " + error.message() +
                                    ".");
  }
  return runtime::Status::success();
}

std::optional<fs::path> DiagnosticLogFiles::moveAsideUnwritable() {
  const fs::path path = currentFile();
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return std::nullopt;
  for (int attempt = 1; attempt < 1000; ++attempt) {
    const fs::path destination =
        folder_ / ("events.unreadable-" + std::to_string(attempt) + ".jsonl");
    struct stat existing {};
    if (::lstat(destination.c_str(), &existing) == 0) continue;
    if (::rename(path.c_str(), destination.c_str()) != 0) return std::nullopt;
    return destination;
  }
  return std::nullopt;
}

runtime::Status DiagnosticLogFiles::append(const std::string& line) {
  if (auto created = platform::createPrivateDirectories(folder_); !created) return created;
  // A link (or anything else but a file) where the log belongs would fail every append forever:
  // it is moved aside once, and the fresh log starts with a line that says so.
  if (auto keptAs = moveAsideUnwritable()) {
    const auto stamped = decodeDiagnosticLine(line);
    const DiagnosticEvent note{stamped ? stamped->time : runtime::WallTime{},
                               "diagnostic_log_recovered",
                               {{"reason", "The log file was not a regular file."},
                                {"keptAs", keptAs->filename().string()}}};
    if (auto written = appendLine(encodeDiagnosticLine(note)); !written) return written;
  }
  return appendLine(line);
}

runtime::Status DiagnosticLogFiles::appendLine(const std::string& line) {
  const fs::path path = currentFile();
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && info.st_size > 0 &&
      static_cast<std::uintmax_t>(info.st_size) + line.size() > limits_.maxFileBytes) {
    if (auto rotated = rotate(); !rotated) return rotated;
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return writeFailure(path, errno);
  std::string bytes;
  if (::fstat(fd, &info) == 0 && endsWithoutLineFeed(fd, info.st_size)) bytes.push_back('\n');
  bytes += line;
  std::string_view pending(bytes);
  while (!pending.empty()) {
    const ssize_t written = ::write(fd, pending.data(), pending.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      return writeFailure(path, error);
    }
    pending.remove_prefix(static_cast<std::size_t>(written));
  }
  ::close(fd);
  return runtime::Status::success();
}

std::vector<fs::path> DiagnosticLogFiles::existingFiles() const {
  std::vector<fs::path> files;
  std::error_code ignored;
  for (int number = limits_.rotatedFileCount; number >= 1; --number) {
    if (fs::is_regular_file(rotatedFile(number), ignored)) files.push_back(rotatedFile(number));
  }
  if (fs::is_regular_file(currentFile(), ignored)) files.push_back(currentFile());
  return files;
}

runtime::Result<std::string> DiagnosticLogFiles::concatenatedContents() const {
  std::string contents;
  for (const auto& file : existingFiles()) {
    auto bytes = platform::readFile(file, maxReadableFileBytes);
    if (!bytes) return bytes.error();
    contents += bytes.value();
    if (!contents.empty() && contents.back() != '\n') contents.push_back('\n');
  }
  return contents;
}

DiagnosticLogContents DiagnosticLogFiles::read() const {
  DiagnosticLogContents result;
  for (const auto& file : existingFiles()) {
    auto bytes = platform::readFile(file, maxReadableFileBytes);
    if (!bytes) {
      ++result.unreadableLineCount;
      continue;
    }
    std::string_view rest(bytes.value());
    while (!rest.empty()) {
      const auto end = rest.find('\n');
      const std::string_view line = rest.substr(0, end);
      if (!line.empty()) {
        if (auto event = decodeDiagnosticLine(line)) {
          result.events.push_back(std::move(*event));
        } else {
          ++result.unreadableLineCount;
        }
      }
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
  }
  return result;
}

}  // namespace corvane::model
