#include "platform/files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::platform {
namespace fs = std::filesystem;
namespace {

std::string systemErrorText(int error) {
  return std::strerror(error);
}

// An environment variable that holds an absolute path; relative values are ignored, as the XDG
// rules ask.
std::optional<fs::path> absolutePathFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  fs::path path(value);
  if (!path.is_absolute()) return std::nullopt;
  return path;
}

fs::path homeFolder() {
  if (auto home = absolutePathFromEnvironment("HOME")) return *home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return fs::path(entry->pw_dir);
  }
  return fs::path("/");
}

std::vector<fs::path> dataDirectories() {
  const char* value = std::getenv("XDG_DATA_DIRS");
  std::string_view list = (value != nullptr && *value != '\0')
                              ? value
                              : std::string_view("/usr/local/share:/usr/share");
  std::vector<fs::path> folders;
  while (!list.empty()) {
    const auto colon = list.find(':');
    const std::string_view entry = list.substr(0, colon);
    if (!entry.empty() && entry.front() == '/') folders.emplace_back(std::string(entry));
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
  return folders;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

WellKnownFolders WellKnownFolders::fromEnvironment() {
  WellKnownFolders folders;
  folders.home = homeFolder();
  folders.configHome =
      absolutePathFromEnvironment("XDG_CONFIG_HOME").value_or(folders.home / ".config");
  folders.dataHome =
      absolutePathFromEnvironment("XDG_DATA_HOME").value_or(folders.home / ".local" / "share");
  folders.cacheHome =
      absolutePathFromEnvironment("XDG_CACHE_HOME").value_or(folders.home / ".cache");
  folders.temporary = absolutePathFromEnvironment("TMPDIR").value_or(fs::path("/tmp"));
  folders.runtime = absolutePathFromEnvironment("XDG_RUNTIME_DIR").value_or(fs::path());
  folders.applicationDirectories.push_back(folders.dataHome / "applications");
  for (const auto& folder : dataDirectories()) {
    folders.applicationDirectories.push_back(folder / "applications");
  }
  return folders;
}

runtime::Status createPrivateDirectories(const fs::path& path) {
  if (path.empty()) return runtime::Status::failure("No folder was given to create.");
  fs::path current;
  for (const auto& part : path.lexically_normal()) {
    if (part.empty()) continue;
    current /= part;
    struct stat info {};
    if (::stat(current.c_str(), &info) == 0) {
      if (!S_ISDIR(info.st_mode)) {
        return runtime::Status::failure("Could not create the folder " + path.string() + ": " +
                                        current.string() + " is not a folder.");
      }
      continue;
    }
    if (::mkdir(current.c_str(), 0700) != 0 && errno != EEXIST) {
      return runtime::Status::failure("Could not create the folder " + current.string() + ": " +
                                      systemErrorText(errno) + ".");
    }
  }
  return runtime::Status::success();
}

namespace {

// ".<name>" then this then mkstemp's six letters and digits.
constexpr std::string_view kTemporaryInfix = ".tmp-";
constexpr std::size_t kTemporaryLetters = 6;

}  // namespace

runtime::Status writeFileAtomically(const fs::path& path, const std::string& contents,
                                    unsigned mode) {
  if (path.filename().empty()) {
    return runtime::Status::failure("Could not write " + path.string() + ": it names no file.");
  }
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::string pattern = (folder / ("." + path.filename().string() + std::string(kTemporaryInfix) +
                                   std::string(kTemporaryLetters, 'X')))
                            .string();
  FileDescriptor fd(::mkstemp(pattern.data()));
  if (fd.get() < 0) {
    return runtime::Status::failure("Could not write " + path.string() + ": " +
                                    systemErrorText(errno) + ".");
  }
  auto fail = [&](int error) {
    ::unlink(pattern.c_str());
    return runtime::Status::failure("Could not write " + path.string() + ": " +
                                    systemErrorText(error) + ".");
  };
  if (::fchmod(fd.get(), static_cast<mode_t>(mode)) != 0) return fail(errno);
  if (!writeAll(fd.get(), contents)) return fail(errno);
  if (::fsync(fd.get()) != 0) return fail(errno);
  if (::close(fd.release()) != 0) return fail(errno);
  if (::rename(pattern.c_str(), path.c_str()) != 0) return fail(errno);
  return runtime::Status::success();
}

std::optional<std::string> atomicWriteTarget(const std::string& name) {
  const std::size_t tail = kTemporaryInfix.size() + kTemporaryLetters;
  if (name.size() < 1 + 1 + tail || name.front() != '.') return std::nullopt;
  const std::string_view rest(name.data() + name.size() - tail, tail);
  if (rest.substr(0, kTemporaryInfix.size()) != kTemporaryInfix) return std::nullopt;
  for (char c : rest.substr(kTemporaryInfix.size())) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return std::nullopt;
  }
  return name.substr(1, name.size() - 1 - tail);
}

FolderOwnership folderOwnership(const fs::path& folder, unsigned forbiddenModeBits) {
  using Verdict = FolderOwnership::Verdict;
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) return {Verdict::unreadable, errno};
  if (!S_ISDIR(info.st_mode)) return {Verdict::notAFolder};
  if (info.st_uid != ::geteuid()) return {Verdict::anotherUsers};
  if ((info.st_mode & forbiddenModeBits) != 0) return {Verdict::openToOthers};
  return {};
}

runtime::Result<std::string> readFileStart(const fs::path& path, std::uintmax_t maxBytes) {
  // Non-blocking, so a FIFO or device in place of a file cannot hang the caller.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  const auto failed = [&path](int error) {
    return runtime::Result<std::string>::failure("Could not read " + path.string() + ": " +
                                                 systemErrorText(error) + ".");
  };
  if (fd.get() < 0) return failed(errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) return failed(errno);
  if (!S_ISREG(info.st_mode)) {
    return runtime::Result<std::string>::failure("Could not read " + path.string() +
                                                 ": it is not a regular file.");
  }
  std::string contents;
  contents.reserve(static_cast<std::size_t>(
      std::min<std::uintmax_t>(static_cast<std::uintmax_t>(info.st_size), maxBytes)));
  char buffer[65536];
  while (contents.size() < maxBytes) {
    const auto wanted = std::min<std::uintmax_t>(sizeof buffer, maxBytes - contents.size());
    const ssize_t count = ::read(fd.get(), buffer, static_cast<std::size_t>(wanted));
    if (count < 0) {
      if (errno == EINTR) continue;
      return failed(errno);
    }
    if (count == 0) break;
    contents.append(buffer, static_cast<std::size_t>(count));
  }
  return contents;
}

runtime::Result<std::string> readFile(const fs::path& path, std::uintmax_t maxBytes) {
  // One byte more than allowed tells a file that is too large (or grew while being read).
  const auto limit = maxBytes == UINTMAX_MAX ? maxBytes : maxBytes + 1;
  auto contents = readFileStart(path, limit);
  if (contents && contents.value().size() > maxBytes) {
    return runtime::Result<std::string>::failure("Could not read " + path.string() +
                                                 ": it is larger than " + std::to_string(maxBytes) +
                                                 " bytes.");
  }
  return contents;
}

}  // namespace corvane::platform
