#include "operations/update_manager.h"

#include "operations/numeric_version.h"
#include "operations/update_artifact_verifier.h"
#include "platform/files.h"

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
      [self, newest](std::function<void(UpdateCheckResult)> complete) {
        self->dependencies_.workQueue->post(
            [self, newest, complete] { complete(self->fetchVerifyAndStore(newest)); });
      });
  auto outcome = co_await waiter;
  if (!outcome) co_return UpdateCheckResult::unavailable(reasons::kFeedUnreadable);
  co_return std::move(*outcome);
}

UpdateCheckResult UpdateManager::fetchVerifyAndStore(const AppcastEntry& newest) const {
  HttpRequest archiveRequest;
  archiveRequest.url = newest.url;
  archiveRequest.timeoutSeconds = 600;
  archiveRequest.maxResponseBytes = dependencies_.limits.maxArchiveBytes;
  auto archive = dependencies_.http->perform(archiveRequest);
  if (!archive) return UpdateCheckResult::unavailable(reasons::kFeedUnreadable);
  if (!archive->isSuccess()) return UpdateCheckResult::unavailable(reasons::kArchiveUnreachable);
  if (!UpdateArtifactVerifier::verify(*dependencies_.verifier, archive->body, newest.edSignature,
                                      *dependencies_.channel.publicEDKey)) {
    return UpdateCheckResult::unavailable(reasons::kSignatureInvalid);
  }
  auto stored = persistVerifiedUpdate(archive->body, newest);
  if (!stored) return UpdateCheckResult::unavailable(reasons::kFeedUnreadable);
  return UpdateCheckResult::updateAvailable(newest.version, *stored);
}

Result<std::filesystem::path> UpdateManager::persistVerifiedUpdate(
    const std::string& data, const AppcastEntry& entry) const {
  const std::filesystem::path folder = updatesDirectory();
  if (auto created = platform::createPrivateDirectories(folder); !created) {
    return Result<std::filesystem::path>(created.error());
  }
  const std::filesystem::path archive = folder / archiveFileName(entry.version);
  if (auto written = platform::writeFileAtomically(archive, data); !written) {
    return Result<std::filesystem::path>(written.error());
  }
  // The signature stays beside the archive so the installer can check it again before unpacking.
  if (auto written = platform::writeFileAtomically(signaturePathFor(archive), entry.edSignature);
      !written) {
    return Result<std::filesystem::path>(written.error());
  }
  return archive;
}

}  // namespace corvane::operations
