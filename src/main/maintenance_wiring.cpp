#include "main/maintenance_wiring.h"

#include "platform/linux/file_manager_revealer.h"
#include "platform/linux/process_relauncher.h"
#include "runtime/runtime.h"

namespace corvane::wiring {

MaintenanceServices makeMaintenanceServices(const platform::Bundle& bundle,
                                            std::int32_t ownProcessIdentifier,
                                            std::string programSearchPath) {
  return MaintenanceServices{
      std::make_shared<platform::FileManagerRevealer>(
          std::move(programSearchPath), runtime::makeSerialQueue("com.pemberquist.corvane.reveal")),
      std::make_shared<platform::ProcessRelauncher>(bundle.executablePath(), ownProcessIdentifier)};
}

void awaitEarlierCopy(const std::vector<std::string>& arguments) {
  if (const auto earlier = platform::processToAwait(arguments)) {
    (void)platform::waitForProcessExit(*earlier, kEarlierCopyExitTimeoutSeconds);
  }
}

}  // namespace corvane::wiring
