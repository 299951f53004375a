#include "windows/advanced_settings_view_model.h"

namespace corvane::windows {

std::vector<HealthRowModel> AdvancedSectionModel::healthRows(
    const std::vector<model::HealthItem>& items) {
  std::vector<HealthRowModel> rows;
  rows.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const auto& item = items[i];
    rows.push_back(
        {item.id, healthMark(item.state), item.title, item.detail, i + 1 < items.size()});
  }
  return rows;
}

std::array<PerformanceTileModel, 3> AdvancedSectionModel::performanceTiles(
    const model::ProtectedShareMetrics& metrics) {
  return {{
      {"Capture", framesPerSecond(metrics.captureFPS), "video"},
      {"Output", framesPerSecond(metrics.outputFPS), "rectangle.on.rectangle"},
      {"Processing", "Direct relay", "arrow.right"},
  }};
}

std::string AdvancedSectionModel::framesPerSecond(int rate) {
  // std::to_string never groups digits, whatever the locale.
  return std::to_string(rate) + " FPS";
}

std::optional<std::string> AdvancedSectionModel::exportedText(
    const std::optional<std::filesystem::path>& exportURL) {
  if (!exportURL) return std::nullopt;
  return "Exported: " + exportURL->string();
}

}  // namespace corvane::windows
