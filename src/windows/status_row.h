#pragma once

#include <string>

#include "model/palette.h"

namespace corvane::windows {

// A settings row that states something: a symbol in a status colour beside a title over a detail.
struct StatusRowModel {
  std::string systemImage;
  model::StatusColor color = model::StatusColor::secondary;
  std::string title;
  std::string detail;

  bool operator==(const StatusRowModel&) const = default;
};

}  // namespace corvane::windows
