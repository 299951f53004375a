#pragma once

#include <filesystem>
#include <optional>

#include "model/production_configuration.h"
#include "windows/status_row.h"

namespace corvane::windows {

// The About section's support panel: what the diagnostics hold, whether the build's release
// settings are complete and whether signed updates are set up.
struct SupportPanelModel {
  static constexpr const char* title = "Support";
  static constexpr const char* subtitle = "Local diagnostics for privacy-safe troubleshooting.";
  static constexpr const char* checkButton = "Check";
  static constexpr const char* checkSymbol = "arrow.clockwise";
  static constexpr const char* installButton = "Install";
  static constexpr const char* installSymbol = "square.and.arrow.down";
  static constexpr const char* exportButton = "Export Diagnostics";
  static constexpr const char* exportSymbol = "square.and.arrow.up";

  static StatusRowModel diagnosticsRow();
  // Judged by the beta list in a beta build, else by the release list.
  static StatusRowModel configurationRow(const model::ProductionConfiguration& configuration);
  // Configured, deliberately off in a beta build, or incomplete.
  static StatusRowModel updatesRow(const model::ProductionConfiguration& configuration);
  // Install is offered only while a verified archive is stored.
  static bool showsInstall(const std::optional<std::filesystem::path>& verifiedUpdateURL) {
    return verifiedUpdateURL.has_value();
  }
};

}  // namespace corvane::windows
