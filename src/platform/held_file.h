#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "runtime/result.h"

namespace corvane::platform {

// A regular file held open while this object lives, its bytes mapped read-only: the bytes that
// are checked and the bytes then used are the same, even when the file's path is replaced
// meanwhile. A file made with `create` is written with `append`, has a temporary name and is
// removed at the end unless `keepAs` gave it its final name. Move-only.
class HeldFile {
 public:
  // A private copy of an existing regular file (not reached through a link), made in `folder`
  // without a name so that nothing else can change it; refuses a file larger than `maxBytes`.
  static runtime::Result<HeldFile> copyOf(const std::filesystem::path& path,
                                          const std::filesystem::path& folder,
                                          std::uint64_t maxBytes);
  // Makes an empty file (0600) in `folder`, which must exist; at most `maxBytes` may be appended.
  static runtime::Result<HeldFile> create(const std::filesystem::path& folder,
                                          std::uint64_t maxBytes);

  HeldFile(HeldFile&& other) noexcept;
  HeldFile& operator=(HeldFile&& other) noexcept;
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  ~HeldFile();

  // Adds bytes at the end; fails without writing once the total would pass the limit.
  runtime::Status append(std::string_view bytes);
  // The whole file as it is now; stays valid until the next append or the end of this object.
  runtime::Result<std::string_view> bytes();
  // Flushes a created file and renames it to `path` (in the same file system).
  runtime::Status keepAs(const std::filesystem::path& path);

  std::uint64_t size() const { return size_; }

 private:
  HeldFile() = default;
  void unmap();
  void release();

  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::uint64_t maxBytes_ = 0;
  void* mapping_ = nullptr;
  std::uint64_t mappedBytes_ = 0;
  std::filesystem::path temporaryPath_;  // a created file not kept yet
  bool writable_ = false;
};

}  // namespace corvane::platform
