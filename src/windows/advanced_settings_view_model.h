#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/health_item.h"
#include "model/protected_share_metrics.h"
#include "windows/health_mark.h"

namespace corvane::windows {

// One row of the protection-health panel.
struct HealthRowModel {
  model::Uuid id;
  HealthMark mark;
  std::string title;
  std::string detail;
  // A divider separates consecutive rows; none follows the last.
  bool hasDivider = false;

  bool operator==(const HealthRowModel&) const = default;
};

// One tile of the capture-performance panel.
struct PerformanceTileModel {
  std::string title;
  std::string value;
  std::string systemImage;

  bool operator==(const PerformanceTileModel&) const = default;
};

struct AdvancedSectionModel {
  static constexpr const char* title = "Advanced";
  static constexpr const char* subtitle = "Protected Share uses a local X11 capture.";
  static constexpr const char* healthTitle = "Protection health";
  static constexpr const char* healthSubtitle = "Preflight checks before customer-facing demos.";
  static constexpr const char* performanceTitle = "Capture performance";
  static constexpr const char* performanceSubtitle =
      "Live diagnostics for the active Protected Share session.";
  static constexpr const char* exportTitle = "Diagnostics";
  static constexpr const char* exportDetail =
      "Exports metadata-only local logs for support. Captured screen content is never written.";
  static constexpr const char* exportButton = "Export";
  static constexpr const char* exportSymbol = "square.and.arrow.up";
  static constexpr const char* exportedSymbol = "checkmark.circle.fill";
  static constexpr const char* revealButton = "Reveal";
  static constexpr const char* revealSymbol = "folder";

  static std::vector<HealthRowModel> healthRows(const std::vector<model::HealthItem>& items);
  // Capture, Output and Processing.
  static std::array<PerformanceTileModel, 3> performanceTiles(
      const model::ProtectedShareMetrics& metrics);
  // The rate as a plain decimal integer, then " FPS".
  static std::string framesPerSecond(int rate);
  // "Exported: " and the export's full path, while there is one.
  static std::optional<std::string> exportedText(
      const std::optional<std::filesystem::path>& exportURL);
};

}  // namespace corvane::windows
