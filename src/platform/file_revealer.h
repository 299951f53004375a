#pragma once

#include <filesystem>

namespace corvane::platform {

// Shows a file to the user in the desktop's file manager, selected where the file manager can
// select it. Main actor; returns at once (the desktop may take its time to answer).
class FileRevealer {
 public:
  virtual ~FileRevealer() = default;
  virtual void reveal(const std::filesystem::path& file) = 0;
};

}  // namespace corvane::platform
