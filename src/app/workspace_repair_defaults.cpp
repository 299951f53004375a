#include "app/workspace_repair_defaults.h"

#include "model/in_memory_defaults_store.h"
#include "model/preferences_store.h"

namespace corvane::app {

WorkspaceRepairDefaults workspaceRepairDefaults(std::shared_ptr<platform::DefaultsStore> store) {
  return [store]() -> std::shared_ptr<platform::DefaultsSuite> {
    if (store) {
      if (auto suite = store->suite(model::PreferencesStore::suiteName)) return suite;
      if (auto suite = store->standard()) return suite;
    }
    // Nothing to read or keep: the repair then finds nothing to do.
    return std::make_shared<model::InMemoryDefaultsSuite>(model::PreferencesStore::suiteName);
  };
}

}  // namespace corvane::app
