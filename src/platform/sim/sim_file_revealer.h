#pragma once

#include <filesystem>
#include <vector>

#include "platform/file_revealer.h"

namespace corvane::platform::sim {

// Keeps every file it was asked to show.
class SimFileRevealer final : public FileRevealer {
 public:
  void reveal(const std::filesystem::path& file) override { revealed_.push_back(file); }
  const std::vector<std::filesystem::path>& revealed() const { return revealed_; }

 private:
  std::vector<std::filesystem::path> revealed_;
};

}  // namespace corvane::platform::sim
