#include "operations/update_manager.h"

#include <stdlib.h>

#include <system_error>

#include "operations/numeric_version.h"
#include "operations/update_artifact_verifier.h"
#include "operations/update_bundle_checks.h"
#include "platform/files.h"
#include "platform/held_file.h"
#include "platform/property_list.h"

namespace corvane::operations {
namespace {

using platform::HttpRequest;
using platform::HttpResponse;
using runtime::Result;
namespace reasons = update_reasons;

// Runs the request on the work queue and resumes on the caller's executor with its outcome.
runtime::Task<Result<HttpResponse>> performOnQueue(std::shared_ptr<platform::HttpClient> http,
                                                   std::shared_ptr<runtime::SerialQueue> queue,
                                                   HttpRequest request) {
  auto waiter = runtime::awaitCompletion<Result<HttpResponse>>(
      [http, queue, request](std::function<void(Result<HttpResponse>)> complete) {
        queue->post([http, request, complete] { complete(http->perform(request)); });
      });
  auto outcome = co_await waiter;
  if (!outcome) co_return Result<HttpResponse>::failure("The request was cancelled.");
  co_return std::move(*outcome);
}

}  // namespace

UpdateManager::UpdateManager(UpdateManagerDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

std::string UpdateManager::archiveFileName(const std::string& version) {
  std::string safe;
  for (char c : version) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '+' || c == '-';
    safe += allowed ? c : '-';
  }
  return "Corvane-" + safe + ".zip";
}

runtime::Task<UpdateCheckResult> UpdateManager::checkForUpdates(
    std::optional<std::string> currentBuild) {
  std::string build = currentBuild.value_or(dependencies_.runningBuild);
  return checkAndRecord(shared_from_this(), std::move(build));
}

runtime::Task<UpdateCheckResult> UpdateManager::checkAndRecord(std::shared_ptr<UpdateManager> self,
                                                               std::string currentBuild) {
  auto check = runCheck(self, std::move(currentBuild));
  UpdateCheckResult result = co_await std::move(check);
  if (self->dependencies_.record) {
    std::map<std::string, std::string> fields;
    if (const auto* available = result.available()) {
      fields = {{"outcome", "updateAvailable"}, {"version", available->version}};
    } else if (std::holds_alternative<UpdateCheckResult::Current>(result.value)) {
      fields = {{"outcome", "current"}};
    } else {
      fields = {{"outcome", "unavailable"}, {"reason", result.message()}};
    }
    self->dependencies_.record("update_check_finished", std::move(fields));
  }
  co_return result;
}

runtime::Task<UpdateCheckResult> UpdateManager::runCheck(std::shared_ptr<UpdateManager> self,
                                                         std::string currentBuild) {
  const UpdateChannel& channel = self->dependencies_.channel;
  if (!channel.isConfigured()) co_return UpdateCheckResult::unavailable(reasons::kNotConfigured);

  HttpRequest feedRequest;
  feedRequest.url = *channel.feedURL;
  feedRequest.maxResponseBytes = self->dependencies_.limits.maxFeedBytes;
  auto feedFetch =
      performOnQueue(self->dependencies_.http, self->dependencies_.workQueue, feedRequest);
  Result<HttpResponse> feed = co_await std::move(feedFetch);
  if (!feed) co_return UpdateCheckResult::unavailable(reasons::kFeedUnreadable);
  if (!feed->isSuccess()) co_return UpdateCheckResult::unavailable(reasons::kFeedUnreachable);

  auto entries = AppcastParser::parse(feed->body);
  if (!entries) co_return UpdateCheckResult::unavailable(reasons::kFeedUnreadable);
  const std::vector<AppcastEntry> sorted = sortedNewestFirst(std::move(entries).value());
  if (sorted.empty()) co_return UpdateCheckResult::unavailable(reasons::kNoSignedReleases);
  const AppcastEntry newest = sorted.front();
  if (!isNewerVersion(newest.version, currentBuild)) co_return UpdateCheckResult::current();

  auto waiter = runtime::awaitCompletion<UpdateCheckResult>(
      [self, newest, currentBuild](std::function<void(UpdateCheckResult)> complete) {
        self->dependencies_.workQueue->post([self, newest, currentBuild, complete] {
          complete(self->fetchVerifyAndStore(newest, currentBuild));
        });
      });
  auto outcome = co_await waiter;
  if (!outcome) co_return UpdateCheckResult::unavailable(reasons::kFeedUnreadable);
  co_return std::move(*outcome);
}

UpdateCheckResult UpdateManager::fetchVerifyAndStore(const AppcastEntry& newest,
                                                     const std::string& currentBuild) const {
  const UpdateLimits& limits = dependencies_.limits;
  const std::filesystem::path folder = updatesDirectory();
  if (!platform::createPrivateDirectories(folder)) {
    return UpdateCheckResult::unavailable(reasons::kFeedUnreadable);
  }
  // The archive goes to a file as it arrives, never whole into memory; the file is removed
  // unless it is kept below.
  auto created = platform::HeldFile::create(folder, limits.maxArchiveBytes);
  if (!created) return UpdateCheckResult::unavailable(reasons::kFeedUnreadable);
  platform::HeldFile download = std::move(created).value();
  HttpRequest archiveRequest;
  archiveRequest.url = newest.url;
  archiveRequest.timeoutSeconds = 600;
  archiveRequest.connectTimeoutSeconds = limits.connectTimeoutSeconds;
  archiveRequest.lowSpeedBytesPerSecond = limits.minArchiveBytesPerSecond;
  archiveRequest.lowSpeedSeconds = limits.slowArchiveSeconds;
  archiveRequest.maxResponseBytes = limits.maxArchiveBytes;
  archiveRequest.receiveBody = [&download](std::string_view chunk) {
    return download.append(chunk).ok();
  };
  auto archive = dependencies_.http->perform(archiveRequest);
  if (!archive) return UpdateCheckResult::unavailable(reasons::kFeedUnreadable);
  if (!archive->isSuccess()) return UpdateCheckResult::unavailable(reasons::kArchiveUnreachable);
  auto bytes = download.bytes();
  if (!bytes || !UpdateArtifactVerifier::verify(*dependencies_.verifier, *bytes, newest.edSignature,
                                                *dependencies_.channel.publicEDKey)) {
    return UpdateCheckResult::unavailable(reasons::kSignatureInvalid);
  }
  auto build = buildInArchive(*bytes);
  if (!build) return UpdateCheckResult::unavailable(build.message());
  if (!isNewerVersion(*build, currentBuild)) return UpdateCheckResult::current();

  const std::filesystem::path stored = folder / archiveFileName(*build);
  if (!download.keepAs(stored)) return UpdateCheckResult::unavailable(reasons::kFeedUnreadable);
  // The signature stays beside the archive so the installer can check it again before unpacking.
  if (!platform::writeFileAtomically(signaturePathFor(stored), newest.edSignature)) {
    return UpdateCheckResult::unavailable(reasons::kFeedUnreadable);
  }
  return UpdateCheckResult::updateAvailable(*build, stored);
}

Result<std::string> UpdateManager::buildInArchive(std::string_view archive) const {
  const std::filesystem::path folder = installerDirectory();
  if (auto created = platform::createPrivateDirectories(folder); !created) {
    return Result<std::string>(created.error());
  }
  std::string pattern = (folder / "inspect-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    return Result<std::string>::failure("Could not make a folder to inspect the update in.");
  }
  const std::filesystem::path scratch = pattern;
  auto read = [&]() -> Result<std::string> {
    if (auto unpacked =
            dependencies_.extractor->extract(archive, scratch, dependencies_.limits.extraction);
        !unpacked) {
      return Result<std::string>::failure("The update archive could not be unpacked. " +
                                          unpacked.message());
    }
    auto staged = findStagedApplication(scratch);
    if (!staged) return Result<std::string>(staged.error());
    auto bundle = platform::loadBundle(*staged);
    if (!bundle)
      return Result<std::string>::failure("Update Info.plist is unreadable: " + bundle.message());
    const std::string build = bundle->string("CFBundleVersion").value_or(std::string());
    if (!isDecimalBuild(build)) {
      return Result<std::string>::failure("Update build is not numeric: " + build);
    }
    return build;
  };
  Result<std::string> build = read();
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return build;
}

}  // namespace corvane::operations
