#include "platform/held_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;

std::string failureText(const std::string& what, const fs::path& path, int error) {
  return "Could not " + what + " " + path.string() + ": " + std::strerror(error) + ".";
}

}  // namespace

runtime::Result<HeldFile> HeldFile::copyOf(const fs::path& path, const fs::path& folder,
                                           std::uint64_t maxBytes) {
  using Failure = runtime::Result<HeldFile>;
  const int source = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (source < 0) return Failure::failure(failureText("read", path, errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{source};
  struct stat info {};
  if (::fstat(source, &info) != 0) return Failure::failure(failureText("read", path, errno));
  if (!S_ISREG(info.st_mode)) {
    return Failure::failure("Could not read " + path.string() + ": it is not a regular file.");
  }
  if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
    return Failure::failure("Could not read " + path.string() + ": it is larger than " +
                            std::to_string(maxBytes) + " bytes.");
  }
  HeldFile copy;
  copy.fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (copy.fd_ < 0) {
    // A file system without unnamed files: a named one, unlinked at once.
    std::string pattern = (folder / ".copy-XXXXXX").string();
    copy.fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (copy.fd_ < 0) return Failure::failure(failureText("create a file in", folder, errno));
    ::unlink(pattern.c_str());
  }
  copy.maxBytes_ = maxBytes;
  copy.writable_ = true;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t count = ::read(source, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return Failure::failure(failureText("read", path, errno));
    if (count == 0) break;
    const runtime::Status written =
        copy.append(std::string_view(buffer, static_cast<std::size_t>(count)));
    if (!written) return Failure(written.error());
  }
  copy.writable_ = false;
  return copy;
}

runtime::Result<HeldFile> HeldFile::create(const fs::path& folder, std::uint64_t maxBytes) {
  HeldFile file;
  std::string pattern = (folder / ".held-XXXXXX").string();
  file.fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (file.fd_ < 0) {
    return runtime::Result<HeldFile>::failure(failureText("create a file in", folder, errno));
  }
  file.temporaryPath_ = pattern;
  file.maxBytes_ = maxBytes;
  file.writable_ = true;
  return file;
}

HeldFile::HeldFile(HeldFile&& other) noexcept {
  *this = std::move(other);
}

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept {
  if (this == &other) return *this;
  release();
  fd_ = std::exchange(other.fd_, -1);
  size_ = std::exchange(other.size_, 0);
  maxBytes_ = other.maxBytes_;
  mapping_ = std::exchange(other.mapping_, nullptr);
  mappedBytes_ = std::exchange(other.mappedBytes_, 0);
  temporaryPath_ = std::exchange(other.temporaryPath_, {});
  writable_ = std::exchange(other.writable_, false);
  return *this;
}

HeldFile::~HeldFile() {
  release();
}

void HeldFile::unmap() {
  if (mapping_ != nullptr) ::munmap(mapping_, mappedBytes_);
  mapping_ = nullptr;
  mappedBytes_ = 0;
}

void HeldFile::release() {
  unmap();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
  temporaryPath_.clear();
}

runtime::Status HeldFile::append(std::string_view bytes) {
  if (fd_ < 0 || !writable_) {
    return runtime::Status::failure("The file cannot be written.");
  }
  if (bytes.size() > maxBytes_ - size_) {
    return runtime::Status::failure("The file would be larger than " + std::to_string(maxBytes_) +
                                    " bytes.");
  }
  unmap();
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return runtime::Status::failure(std::string("Could not write a file: ") +
                                      std::strerror(errno) + ".");
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
    size_ += static_cast<std::uint64_t>(written);
  }
  return runtime::Status::success();
}

runtime::Result<std::string_view> HeldFile::bytes() {
  if (fd_ < 0) return runtime::Result<std::string_view>::failure("The file is not open.");
  if (size_ == 0) return std::string_view();
  if (mapping_ == nullptr) {
    void* mapping = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_, 0);
    if (mapping == MAP_FAILED) {
      return runtime::Result<std::string_view>::failure(std::string("Could not map a file: ") +
                                                        std::strerror(errno) + ".");
    }
    mapping_ = mapping;
    mappedBytes_ = size_;
  }
  return std::string_view(static_cast<const char*>(mapping_), mappedBytes_);
}

runtime::Status HeldFile::keepAs(const fs::path& path) {
  if (fd_ < 0 || temporaryPath_.empty()) {
    return runtime::Status::failure("Only a file made here can be kept.");
  }
  if (::fsync(fd_) != 0 || ::rename(temporaryPath_.c_str(), path.c_str()) != 0) {
    return runtime::Status::failure(failureText("store", path, errno));
  }
  temporaryPath_.clear();
  writable_ = false;
  return runtime::Status::success();
}

}  // namespace corvane::platform
