#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

#include "runtime/result.h"

namespace corvane::platform {

struct ExtractionLimits {
  std::uint64_t maxEntries = 100000;
  std::uint64_t maxTotalBytes = 2ull * 1024 * 1024 * 1024;
};

// Unpacks a zip archive into a folder. Every entry must land inside that folder: absolute paths,
// "..", "." and empty path elements, links whose target leads outside (followed through the links
// unpacked before them), entries behind a link, hard links and anything but files, folders and
// links are refused. The archive is read whole before anything is written: its entry count and
// declared sizes are checked against the limits and the free space of the destination first.
// On failure the folder may hold part of the archive; the caller removes it.
class ArchiveExtractor {
 public:
  virtual ~ArchiveExtractor() = default;
  // `archive` is the archive's bytes: the very bytes whose signature was checked.
  virtual runtime::Status extract(std::string_view archive,
                                  const std::filesystem::path& destination,
                                  const ExtractionLimits& limits) = 0;
};

// The libarchive extractor.
std::shared_ptr<ArchiveExtractor> makeArchiveExtractor();

}  // namespace corvane::platform
