#pragma once

#include <filesystem>
#include <string>

namespace corvane::operations {

// Everything the installer script needs to know, all decided before the application quits.
struct InstallScriptParameters {
  std::filesystem::path stagedApp;   // the checked new install folder, inside `staging`
  std::filesystem::path currentApp;  // the running install folder, replaced
  std::filesystem::path staging;     // removed after a successful install
  std::filesystem::path incoming;  // the new install's copy beside the current one, before the swap
  std::filesystem::path backup;    // the old install folder, moved aside by the swap
  std::filesystem::path log;       // the script's messages
  int processToAwait = 0;          // the running application
  int waitAttempts = 80;           // times `waitInterval` seconds
  double waitInterval = 0.5;
};

// The bash script that waits for the application to quit, copies the new install beside the
// current one and checks the copy, then swaps the two by renaming and relaunches. A failure before
// the swap leaves the current install untouched; one during it moves the old folder back. Either
// way the copy and the staging folder are removed and, once the application has quit, whichever
// install is in place is relaunched, so the user is never left without Corvane.
std::string installScriptText(const InstallScriptParameters& parameters);

// A path as a single-quoted bash word that reads back unchanged: every ' becomes '\''.
std::string singleQuotedForBash(const std::string& text);

}  // namespace corvane::operations
