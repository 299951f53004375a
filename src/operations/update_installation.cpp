#include <unistd.h>

#include <cmath>
#include <system_error>

#include "operations/install_script.h"
#include "operations/update_artifact_verifier.h"
#include "operations/update_bundle_checks.h"
#include "operations/update_manager.h"
#include "platform/files.h"
#include "platform/held_file.h"
#include "runtime/runtime.h"

namespace corvane::operations {
namespace {

namespace fs = std::filesystem;
using runtime::Status;

std::string withoutTrailingSlash(const fs::path& path) {
  std::string text = path.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

Status UpdateManager::installVerifiedUpdate(const fs::path& packageURL,
                                            const fs::path& currentAppURL, InstallOptions options) {
  Status status = prepareAndStartInstaller(packageURL, currentAppURL, options);
  if (dependencies_.record) {
    if (status.ok()) {
      dependencies_.record("update_install_started", {});
    } else {
      dependencies_.record("update_install_refused", {{"reason", status.message()}});
    }
  }
  return status;
}

runtime::Task<Status> UpdateManager::installVerifiedUpdateInBackground(fs::path packageURL,
                                                                       fs::path currentAppURL,
                                                                       InstallOptions options) {
  auto self = shared_from_this();
  auto waiter = runtime::awaitCompletion<Status>(
      [self, packageURL, currentAppURL, options](std::function<void(Status)> complete) {
        self->dependencies_.workQueue->post([self, packageURL, currentAppURL, options, complete] {
          complete(self->installVerifiedUpdate(packageURL, currentAppURL, options));
        });
      });
  auto outcome = co_await waiter;
  if (!outcome) co_return Status::failure("The update install was interrupted.");
  co_return std::move(*outcome);
}

Status UpdateManager::prepareAndStartInstaller(const fs::path& packageURL,
                                               const fs::path& currentAppURL,
                                               const InstallOptions& options) {
  const fs::path currentApp = withoutTrailingSlash(currentAppURL);
  const fs::path parent = currentApp.parent_path();
  if (parent.empty() || ::access(parent.c_str(), W_OK) != 0) {
    return Status::failure("Corvane cannot replace its install folder: " + parent.string() +
                           " is not writable.");
  }
  if (!dependencies_.channel.publicEDKey) {
    return Status::failure("Secure update channel is not configured.");
  }

  // The archive may have changed since the check stored it: verify it again right before use,
  // and unpack the very bytes verified, from the file held open since.
  const fs::path installer = installerDirectory();
  if (auto created = platform::createPrivateDirectories(installer); !created) return created;
  auto archive =
      platform::HeldFile::copyOf(packageURL, installer, dependencies_.limits.maxArchiveBytes);
  auto bytes =
      archive ? archive.value().bytes() : runtime::Result<std::string_view>(archive.error());
  auto signature = platform::readFile(signaturePathFor(packageURL), 4096);
  if (!bytes || !signature ||
      !UpdateArtifactVerifier::verify(*dependencies_.verifier, *bytes, *signature,
                                      *dependencies_.channel.publicEDKey)) {
    return Status::failure("Update archive signature could not be verified.");
  }

  const long long stamp =
      static_cast<long long>(std::floor(runtime::secondsSinceEpoch(runtime::now())));
  const std::string suffix = std::to_string(stamp);
  const fs::path staging = installer / ("staging-" + suffix);
  std::error_code error;
  fs::remove_all(staging, error);
  if (auto created = platform::createPrivateDirectories(staging); !created) return created;
  auto discardStaging = [&staging] {
    std::error_code ignored;
    fs::remove_all(staging, ignored);
  };

  if (auto unpacked =
          dependencies_.extractor->extract(*bytes, staging, dependencies_.limits.extraction);
      !unpacked) {
    discardStaging();
    return Status::failure("The update archive could not be unpacked. " + unpacked.message());
  }
  auto stagedApp = findStagedApplication(staging);
  if (!stagedApp) {
    discardStaging();
    return Status(stagedApp.error());
  }
  if (auto compatible = checkReplacement(currentApp, *stagedApp); !compatible) {
    discardStaging();
    return compatible;
  }

  InstallScriptParameters parameters;
  parameters.stagedApp = *stagedApp;
  parameters.currentApp = currentApp;
  parameters.staging = staging;
  parameters.incoming = parent / (currentApp.filename().string() + ".incoming-" + suffix);
  parameters.backup = parent / (currentApp.filename().string() + ".previous-" + suffix);
  parameters.log = installer / ("install-" + suffix + ".log");
  parameters.processToAwait = options.processToAwait > 0 ? options.processToAwait : ::getpid();
  parameters.waitAttempts = options.waitAttempts;
  parameters.waitInterval = options.waitInterval;
  const fs::path script = installer / ("install-" + suffix + ".sh");
  if (auto written = platform::writeFileAtomically(script, installScriptText(parameters), 0700);
      !written) {
    discardStaging();
    return written;
  }

  platform::ProcessRequest request;
  request.executable = "/bin/bash";
  request.arguments = {script.string()};
  auto launched = dependencies_.launchDetached(request);
  if (!launched) {
    discardStaging();
    return Status::failure("The update installer could not be started: " + launched.message());
  }
  return Status::success();
}

}  // namespace corvane::operations
