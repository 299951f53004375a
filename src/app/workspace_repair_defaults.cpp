#include "app/workspace_repair_defaults.h"

#include "model/preferences_store.h"

namespace corvane::app {

WorkspaceRepairDefaults workspaceRepairDefaults(std::shared_ptr<platform::DefaultsStore> store) {
  return [store] { return model::PreferencesStore::applicationDefaults(store); };
}

}  // namespace corvane::app
