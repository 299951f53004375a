#pragma once

#include <filesystem>
#include <string>

namespace corvane::operations {

// Everything the installer script needs to know, all decided before the application quits.
struct InstallScriptParameters {
  std::filesystem::path stagedApp;   // the checked new install folder, inside `staging`
  std::filesystem::path currentApp;  // the running install folder, replaced
  std::filesystem::path staging;     // removed after a successful install
  std::filesystem::path backup;      // the old install folder while the new one is copied in
  std::filesystem::path log;         // the script's messages
  int processToAwait = 0;            // the running application
  int waitAttempts = 80;             // times `waitInterval` seconds
  double waitInterval = 0.5;
};

// The bash script that waits for the application to quit, swaps the install folders with a
// backup, checks the copy and relaunches. Any failure after the old folder was moved away puts it
// back (a partial copy is removed first); once the application has quit, a failure relaunches
// whichever install is in place, so the user is never left without Corvane.
std::string installScriptText(const InstallScriptParameters& parameters);

// A path as a single-quoted bash word that reads back unchanged: every ' becomes '\''.
std::string singleQuotedForBash(const std::string& text);

}  // namespace corvane::operations
