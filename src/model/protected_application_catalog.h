#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "model/protected_app.h"

namespace corvane::model {

// Why a chosen file was not added to the excluded applications.
struct ProtectedAppImportRejection {
  enum class Reason { invalidApplicationBundle, selfApplication };

  std::string name;  // as shown to the user
  Reason reason = Reason::invalidApplicationBundle;

  bool operator==(const ProtectedAppImportRejection&) const = default;
};

struct ProtectedAppImportResult {
  std::vector<ProtectedApp> apps;
  int addedCount = 0;
  int reenabledCount = 0;
  int droppedForLimitCount = 0;  // usable entries left out because the list was full
  std::vector<ProtectedAppImportRejection> rejections;
};

// Import and clean-up of excluded-application lists. On Linux an application chosen by the user
// is a desktop entry file of Type=Application; its id is the desktop-file id (the file name
// without ".desktop", prefixed by its subfolders when it lies below one of the given application
// folders) and its name the entry's Name.
struct ProtectedApplicationCatalog {
  // The symbol shown for an imported application whose own icon cannot be found.
  static constexpr const char* importedAppSymbol = "app.fill";
  // The most applications an import fills the list up to, far more than anyone excludes: a huge
  // import stops here rather than slowing every view and session. A stored list longer than this
  // is kept whole: an application the user excluded is never dropped without a word.
  static constexpr std::size_t maximumCount = 500;

  // Merges the chosen entries into `current`: an unusable file is rejected as
  // invalidApplicationBundle (named by its file name), an id in `excludedIdentifiers` (this
  // application itself) as selfApplication. An id already in the list keeps its place, takes the
  // new name and is enabled (counted as re-enabled only when it was disabled); a new id is
  // appended and counted as added, unless the list already holds maximumCount (then it is counted
  // as dropped for the limit). Repeated rejections are listed once. Reads the files, changes
  // nothing.
  static ProtectedAppImportResult importApplications(
      const std::vector<std::filesystem::path>& urls, const std::vector<ProtectedApp>& current,
      const std::set<std::string>& excludedIdentifiers,
      const std::vector<std::filesystem::path>& applicationDirectories);

  // Ids trimmed, entries without an id dropped, only the first entry of each id kept, names and
  // symbols made single-line (an empty name becomes the id, an empty symbol the imported-app
  // symbol); order otherwise kept. Nothing else is left out, however long the list.
  static std::vector<ProtectedApp> normalized(const std::vector<ProtectedApp>& apps);
};

}  // namespace corvane::model
