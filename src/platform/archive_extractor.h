#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "runtime/result.h"

namespace corvane::platform {

struct ExtractionLimits {
  std::uint64_t maxEntries = 100000;
  std::uint64_t maxTotalBytes = 2ull * 1024 * 1024 * 1024;
};

// Unpacks a zip archive into a folder. Every entry must land inside that folder: absolute paths,
// ".." components and links that point anywhere are refused, and so is an archive over the limits.
// On failure the folder may hold part of the archive; the caller removes it.
class ArchiveExtractor {
 public:
  virtual ~ArchiveExtractor() = default;
  virtual runtime::Status extract(const std::filesystem::path& archive,
                                  const std::filesystem::path& destination,
                                  const ExtractionLimits& limits) = 0;
};

// The libarchive extractor.
std::shared_ptr<ArchiveExtractor> makeArchiveExtractor();

}  // namespace corvane::platform
