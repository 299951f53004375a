#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "operations/appcast_parser.h"
#include "operations/diagnostic_recorder.h"
#include "operations/update_check_result.h"
#include "platform/archive_extractor.h"
#include "platform/http_client.h"
#include "platform/process.h"
#include "platform/signature_verifier.h"
#include "runtime/result.h"
#include "runtime/serial_queue.h"
#include "runtime/task.h"

namespace corvane::model {
struct ProductionConfiguration;
}

namespace corvane::operations {

// The update settings of the build.
struct UpdateChannel {
  bool automaticUpdatesEnabled = true;
  std::optional<std::string> feedURL;      // https only
  std::optional<std::string> publicEDKey;  // Base64 Ed25519 key, trimmed

  bool isConfigured() const {
    return automaticUpdatesEnabled && feedURL.has_value() && publicEDKey.has_value() &&
           !publicEDKey->empty();
  }
  static UpdateChannel from(const model::ProductionConfiguration& configuration);
};

// Upper bounds on what the update path downloads and unpacks.
struct UpdateLimits {
  std::size_t maxFeedBytes = 8 * 1024 * 1024;
  std::size_t maxArchiveBytes = 512 * 1024 * 1024;
  // An archive download slower than this for `slowArchiveSeconds` is given up.
  long minArchiveBytesPerSecond = 1024;
  long slowArchiveSeconds = 30;
  double connectTimeoutSeconds = 15;
  platform::ExtractionLimits extraction;
};

struct UpdateManagerDependencies {
  UpdateChannel channel;
  std::filesystem::path dataDirectory;  // <data>/Corvane
  std::string runningBuild = "0";       // the main bundle's CFBundleVersion
  std::shared_ptr<platform::HttpClient> http;
  std::shared_ptr<platform::SignatureVerifier> verifier;
  std::shared_ptr<platform::ArchiveExtractor> extractor;
  // Network, verification and file work runs here, off the main actor.
  std::shared_ptr<runtime::SerialQueue> workQueue;
  // Starts the installer script without waiting for it.
  std::function<runtime::Result<int>(const platform::ProcessRequest&)> launchDetached;
  UpdateLimits limits;
  DiagnosticRecorder record;
};

// The signature stored beside a verified archive: "<archive>.edsig".
inline std::filesystem::path signaturePathFor(const std::filesystem::path& archive) {
  return archive.string() + ".edsig";
}

// How the installer waits for the running application.
struct InstallOptions {
  int processToAwait = 0;  // 0: this process
  int waitAttempts = 80;
  double waitInterval = 0.5;
};

// Finds, verifies and stores signed updates, and installs a stored one.
class UpdateManager : public std::enable_shared_from_this<UpdateManager> {
 public:
  explicit UpdateManager(UpdateManagerDependencies dependencies);

  // Fetches the feed, takes the newest signed release and, when it is newer than `currentBuild`
  // (the running build by default), downloads it to a file, verifies it and reads the build from
  // the Info.plist inside; only when that build is newer too is the archive stored and offered,
  // under that build (the feed's label is not signed). Never fails: every problem is an
  // unavailable result with its sentence.
  runtime::Task<UpdateCheckResult> checkForUpdates(
      std::optional<std::string> currentBuild = std::nullopt);

  // Checks the stored archive again (signature, unpacking, application id, build), then writes
  // and starts the installer script, which waits for this process to quit. Returns once the
  // script runs; any error leaves the running install untouched and is the caller's to show.
  runtime::Status installVerifiedUpdate(const std::filesystem::path& packageURL,
                                        const std::filesystem::path& currentAppURL,
                                        InstallOptions options = {});

  // The same on the work queue, so a large archive never holds up the main actor; completes
  // back on the caller's executor.
  runtime::Task<runtime::Status> installVerifiedUpdateInBackground(
      std::filesystem::path packageURL, std::filesystem::path currentAppURL,
      InstallOptions options = {});

  const UpdateChannel& channel() const { return dependencies_.channel; }
  std::filesystem::path updatesDirectory() const { return dependencies_.dataDirectory / "Updates"; }
  std::filesystem::path installerDirectory() const {
    return dependencies_.dataDirectory / "UpdateInstaller";
  }

  // "Corvane-<version>.zip" with anything but letters, digits, ".", "_", "+" and "-" made "-".
  static std::string archiveFileName(const std::string& version);

 private:
  static runtime::Task<UpdateCheckResult> checkAndRecord(std::shared_ptr<UpdateManager> self,
                                                         std::string currentBuild);
  static runtime::Task<UpdateCheckResult> runCheck(std::shared_ptr<UpdateManager> self,
                                                   std::string currentBuild);
  // Download, verify and store, on the work queue.
  runtime::Status prepareAndStartInstaller(const std::filesystem::path& packageURL,
                                           const std::filesystem::path& currentAppURL,
                                           const InstallOptions& options);
  UpdateCheckResult fetchVerifyAndStore(const AppcastEntry& newest,
                                        const std::string& currentBuild) const;
  // The CFBundleVersion of the install inside verified archive bytes, unpacked aside to read it.
  runtime::Result<std::string> buildInArchive(std::string_view archive) const;

  UpdateManagerDependencies dependencies_;
};

}  // namespace corvane::operations
