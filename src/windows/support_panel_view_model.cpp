#include "windows/support_panel_view_model.h"

#include "platform/text_cleaning.h"

namespace corvane::windows {

using model::StatusColor;

StatusRowModel SupportPanelModel::diagnosticsRow() {
  return {"lock.doc.fill", StatusColor::privacyGreen, "Metadata-only diagnostics",
          "Captured screen content is never written to support logs."};
}

StatusRowModel SupportPanelModel::configurationRow(
    const model::ProductionConfiguration& configuration) {
  const bool beta = configuration.isBetaRelease;
  const auto missing = beta ? configuration.betaMissingItems() : configuration.missingItems();
  if (missing.empty()) {
    return {"checkmark.seal.fill", StatusColor::privacyGreen,
            beta ? "Beta operations configured" : "Production operations configured",
            beta ? "Privacy, support and the disabled network services match the beta release "
                   "policy."
                 : "Support, updates and crash reporting are wired for release."};
  }
  return {"exclamationmark.triangle.fill", StatusColor::warningAmber,
          beta ? "Beta operations incomplete" : "Production operations incomplete",
          platform::joinedText(missing, ", ")};
}

StatusRowModel SupportPanelModel::updatesRow(const model::ProductionConfiguration& configuration) {
  if (configuration.isUpdateConfigured()) {
    return {"arrow.triangle.2.circlepath.circle.fill", StatusColor::privacyGreen,
            "Secure updates configured", "Update feed and signing key are configured."};
  }
  // A beta build that turns automatic updates off on purpose is as it should be (the health
  // panel passes it too), not an incomplete setup.
  if (configuration.isBetaRelease && !configuration.automaticUpdatesEnabled) {
    return {"arrow.triangle.2.circlepath.circle.fill", StatusColor::privacyGreen,
            "Secure updates off for this beta",
            "Automatic updates are intentionally disabled for this signed beta."};
  }
  return {"exclamationmark.triangle.fill", StatusColor::warningAmber, "Secure updates incomplete",
          "Missing update feed or update signing key."};
}

}  // namespace corvane::windows
