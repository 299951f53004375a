#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "operations/test_https_server.h"
#include "operations/test_update_fixtures.h"
#include "operations/update_manager.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::operations {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;
using testing::TestHttpsServer;
namespace reasons = update_reasons;

// Serves a feed and archives by path; anything else is a 404.
class UpdateServer {
 public:
  UpdateServer()
      : server_([this](const TestHttpsServer::Request& request) { return answer(request); }) {}

  void put(const std::string& path, TestHttpsServer::Reply reply) {
    std::lock_guard lock(mutex_);
    replies_[path] = std::move(reply);
  }
  std::string url(const std::string& path) const { return server_.url(path); }
  std::size_t requestCount() const { return server_.requests().size(); }

 private:
  TestHttpsServer::Reply answer(const TestHttpsServer::Request& request) {
    std::lock_guard lock(mutex_);
    auto it = replies_.find(request.target);
    return it != replies_.end() ? it->second : TestHttpsServer::Reply{404, "missing"};
  }

  std::mutex mutex_;
  std::map<std::string, TestHttpsServer::Reply> replies_;
  TestHttpsServer server_;
};

std::string enclosure(const std::string& version, const std::string& url,
                      const std::string& signature) {
  return "<item><enclosure sparkle:version=\"" + version + "\" url=\"" + url +
         "\" sparkle:edSignature=\"" + signature +
         "\" length=\"1\" type=\"application/zip\"/>"
         "</item>";
}

std::string feed(const std::string& items) {
  return "<?xml version=\"1.0\"?><rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
         "sparkle\" version=\"2.0\"><channel>" +
         items + "</channel></rss>";
}

// A signed-update archive holding an install of that build; `padding` adds a file of bytes that
// do not compress.
std::string appArchive(const std::string& build, std::size_t padding = 0) {
  auto entries =
      testing::applicationEntries("Corvane", "com.pemberquist.corvane", build, "#!/bin/sh\n");
  std::string noise;
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < padding; ++i) {
    state = state * 1103515245 + 12345;
    noise += static_cast<char>(state >> 24);
  }
  if (padding > 0)
    entries.push_back({"Corvane/noise", noise, 0644, testing::ZipEntry::Kind::file, ""});
  return testing::makeZip(entries);
}

class UpdateCheckTest : public ::testing::Test {
 protected:
  std::shared_ptr<UpdateManager> makeManager(UpdateChannel channel, UpdateLimits limits = {}) {
    UpdateManagerDependencies dependencies;
    dependencies.limits = limits;
    dependencies.channel = std::move(channel);
    dependencies.dataDirectory = folder.path() / "Corvane";
    dependencies.runningBuild = "100";
    dependencies.http = platform::makeHttpClient(
        platform::HttpClientOptions{testing::TestCertificates::shared().caFile});
    dependencies.verifier = platform::makeSignatureVerifier();
    dependencies.extractor = platform::makeArchiveExtractor();
    dependencies.workQueue = loop.makeQueue("com.pemberquist.corvane.updates");
    dependencies.launchDetached = [](const platform::ProcessRequest&) {
      return runtime::Result<int>::failure("not in this test");
    };
    dependencies.record = [this](const std::string& event,
                                 std::map<std::string, std::string> fields) {
      events.emplace_back(event, std::move(fields));
    };
    return std::make_shared<UpdateManager>(std::move(dependencies));
  }

  UpdateChannel channel() {
    return UpdateChannel{true, server.url("/appcast.xml"), key.publicKeyBase64()};
  }

  UpdateCheckResult check(const std::shared_ptr<UpdateManager>& manager,
                          std::optional<std::string> build = std::nullopt) {
    auto handle = runtime::spawn(manager->checkForUpdates(std::move(build)));
    for (int i = 0; i < 100 && !handle.isDone(); ++i) loop.runUntilIdle();
    EXPECT_TRUE(handle.isDone());
    return handle.result();
  }

  // Publishes archives (build -> bytes) and a feed that lists them with their signatures.
  void publish(const std::vector<std::pair<std::string, std::string>>& archives,
               const testing::SigningKey& signer) {
    std::string items;
    for (const auto& [version, bytes] : archives) {
      const std::string path = "/archives/" + version + ".zip";
      server.put(path, {200, bytes});
      items += enclosure(version, server.url(path), signer.signBase64(bytes));
    }
    server.put("/appcast.xml", {200, feed(items)});
  }

  std::vector<std::pair<std::string, std::map<std::string, std::string>>> events;
  TemporaryFolder folder;
  runtime::VirtualRunLoop loop;
  UpdateServer server;
  testing::SigningKey key;
};

TEST_F(UpdateCheckTest, TheNewestSignedReleaseIsDownloadedVerifiedAndStored) {
  const std::string ten = appArchive("10");
  publish({{"9", appArchive("9")}, {"10", ten}, {"8", appArchive("8")}}, key);
  auto manager = makeManager(channel());
  const UpdateCheckResult result = check(manager, "7");
  ASSERT_NE(result.available(), nullptr) << result.message();
  EXPECT_EQ(result.available()->version, "10");
  EXPECT_EQ(result.message(), "Verified update 10 is ready");
  const fs::path stored = folder.path() / "Corvane" / "Updates" / "Corvane-10.zip";
  EXPECT_EQ(result.available()->packageURL, stored);
  EXPECT_EQ(testing::readWholeFile(stored), ten);
  EXPECT_EQ(testing::readWholeFile(signaturePathFor(stored)), key.signBase64(ten));
  // Only the archive and its signature are left: no download or inspection folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(stored.parent_path()), fs::directory_iterator()),
            2);
  EXPECT_TRUE(fs::is_empty(folder.path() / "Corvane" / "UpdateInstaller"));
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].first, "update_check_finished");
  EXPECT_EQ(events[0].second["outcome"], "updateAvailable");
  EXPECT_EQ(events[0].second["version"], "10");
}

TEST_F(UpdateCheckTest, ARunningBuildAsNewAsTheFeedIsCurrent) {
  publish({{"10", "archive ten"}}, key);
  auto manager = makeManager(channel());
  EXPECT_EQ(check(manager, "10"), UpdateCheckResult::current());
  EXPECT_EQ(check(manager, "11"), UpdateCheckResult::current());
  EXPECT_EQ(check(manager).message(), "Corvane is up to date");  // running build 100
  EXPECT_FALSE(fs::exists(folder.path() / "Corvane" / "Updates"));
}

TEST_F(UpdateCheckTest, AFeedWithoutSignedHttpsReleasesHasNothingToOffer) {
  server.put("/appcast.xml", {200, feed(enclosure("200", "http://example.com/a.zip", "c2ln") +
                                        "<item><enclosure sparkle:version=\"201\" url=\"" +
                                        server.url("/a.zip") + "\"/></item>")});
  auto manager = makeManager(channel());
  EXPECT_EQ(check(manager), UpdateCheckResult::unavailable(reasons::kNoSignedReleases));
}

TEST_F(UpdateCheckTest, FeedFailuresHaveTheirOwnSentences) {
  auto manager = makeManager(channel());
  EXPECT_EQ(check(manager), UpdateCheckResult::unavailable(reasons::kFeedUnreachable));  // 404
  server.put("/appcast.xml", {200, "<rss><channel>"});
  EXPECT_EQ(check(manager), UpdateCheckResult::unavailable(reasons::kFeedUnreadable));
  server.put("/appcast.xml", {200, "", true});
  EXPECT_EQ(check(manager), UpdateCheckResult::unavailable(reasons::kFeedUnreadable));

  // Nothing listens on the port of a server that has gone.
  std::string goneURL;
  {
    TestHttpsServer gone([](const TestHttpsServer::Request&) { return TestHttpsServer::Reply{}; });
    goneURL = gone.url("/appcast.xml");
  }
  auto offline = makeManager(UpdateChannel{true, goneURL, key.publicKeyBase64()});
  EXPECT_EQ(check(offline), UpdateCheckResult::unavailable(reasons::kFeedUnreadable));
}

TEST_F(UpdateCheckTest, AnArchiveThatCannotBeFetchedIsUnreachable) {
  server.put("/appcast.xml", {200, feed(enclosure("200", server.url("/nowhere.zip"), "c2ln"))});
  auto manager = makeManager(channel());
  EXPECT_EQ(check(manager), UpdateCheckResult::unavailable(reasons::kArchiveUnreachable));
}

TEST_F(UpdateCheckTest, ATamperedArchiveOrForeignKeyIsRefusedAndNotStored) {
  testing::SigningKey stranger;
  publish({{"200", "genuine archive"}}, stranger);
  auto manager = makeManager(channel());
  EXPECT_EQ(check(manager), UpdateCheckResult::unavailable(reasons::kSignatureInvalid));

  publish({{"200", "genuine archive"}}, key);
  server.put("/archives/200.zip", {200, "genuine archive, altered"});
  EXPECT_EQ(check(manager), UpdateCheckResult::unavailable(reasons::kSignatureInvalid));
  EXPECT_FALSE(fs::exists(folder.path() / "Corvane" / "Updates" / "Corvane-200.zip"));
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().second["outcome"], "unavailable");
  EXPECT_EQ(events.back().second["reason"], reasons::kSignatureInvalid);
}

TEST_F(UpdateCheckTest, MalformedKeysOrSignaturesNeverVerify) {
  publish({{"200", "genuine archive"}}, key);
  std::vector<unsigned char> shortKey(key.publicKey.begin(), key.publicKey.end() - 1);
  for (const std::string& publicKey : {testing::base64(shortKey), std::string("not base64 at all!"),
                                       key.publicKeyBase64() + "\n"}) {
    auto manager = makeManager(UpdateChannel{true, server.url("/appcast.xml"), publicKey});
    EXPECT_EQ(check(manager), UpdateCheckResult::unavailable(reasons::kSignatureInvalid))
        << publicKey;
  }
  server.put("/appcast.xml",
             {200, feed(enclosure("200", server.url("/archives/200.zip"), "@@garbage@@"))});
  EXPECT_EQ(check(makeManager(channel())),
            UpdateCheckResult::unavailable(reasons::kSignatureInvalid));
}

TEST_F(UpdateCheckTest, AnOversizedArchiveIsNotKeptInMemory) {
  publish({{"200", appArchive("200", 4096)}}, key);
  auto manager = makeManager(channel());
  // A manager whose limit is smaller than the archive.
  UpdateManagerDependencies small;
  small.channel = channel();
  small.dataDirectory = folder.path() / "Corvane";
  small.http = platform::makeHttpClient(
      platform::HttpClientOptions{testing::TestCertificates::shared().caFile});
  small.verifier = platform::makeSignatureVerifier();
  small.extractor = platform::makeArchiveExtractor();
  small.workQueue = loop.makeQueue("updates-small");
  small.limits.maxArchiveBytes = 1024;
  auto limited = std::make_shared<UpdateManager>(std::move(small));
  EXPECT_EQ(check(limited), UpdateCheckResult::unavailable(reasons::kFeedUnreadable));
  EXPECT_TRUE(fs::is_empty(folder.path() / "Corvane" / "Updates"));
  EXPECT_NE(check(manager).available(), nullptr);
}

TEST_F(UpdateCheckTest, ADownloadThatSlowsToADripIsGivenUp) {
  // 400 bytes at 10 ms a byte would take four seconds; at least 200 bytes a second are asked.
  TestHttpsServer::Reply drip{200, appArchive("200", 400)};
  drip.body.resize(400);
  drip.dripMillisecondsPerByte = 10;
  server.put("/archives/200.zip", drip);
  server.put(
      "/appcast.xml",
      {200, feed(enclosure("200", server.url("/archives/200.zip"), key.signBase64(drip.body)))});
  UpdateLimits limits;
  limits.minArchiveBytesPerSecond = 200;
  limits.slowArchiveSeconds = 1;
  EXPECT_EQ(check(makeManager(channel(), limits)),
            UpdateCheckResult::unavailable(reasons::kFeedUnreadable));
  EXPECT_TRUE(fs::is_empty(folder.path() / "Corvane" / "Updates"));
}

TEST_F(UpdateCheckTest, TheFeedLabelCannotPassOffAnOlderOrEqualBuild) {
  auto manager = makeManager(channel());  // running build 100
  for (const std::string& build : {"100", "90"}) {
    publish({{"999", appArchive(build)}}, key);
    EXPECT_EQ(check(manager), UpdateCheckResult::current()) << build;
  }
  EXPECT_TRUE(fs::is_empty(folder.path() / "Corvane" / "Updates"));
  publish({{"999", appArchive("150")}}, key);
  const UpdateCheckResult result = check(manager);
  ASSERT_NE(result.available(), nullptr) << result.message();
  EXPECT_EQ(result.available()->version, "150");
  EXPECT_EQ(result.available()->packageURL.filename(), "Corvane-150.zip");
}

TEST_F(UpdateCheckTest, AVersionWithASlashIsStoredUnderAHyphen) {
  EXPECT_EQ(UpdateManager::archiveFileName("2.0/beta"), "Corvane-2.0-beta.zip");
  // The stored name comes from the build inside the archive, whatever the feed calls it.
  const std::string archive = appArchive("300");
  publish({{"300", archive}}, key);
  server.put(
      "/appcast.xml",
      {200, feed(enclosure("2.0/beta", server.url("/archives/300.zip"), key.signBase64(archive)))});
  const UpdateCheckResult result = check(makeManager(channel()), "1");
  ASSERT_NE(result.available(), nullptr) << result.message();
  EXPECT_EQ(result.available()->packageURL.filename(), "Corvane-300.zip");
}

TEST_F(UpdateCheckTest, AnUnconfiguredChannelMakesNoRequest) {
  publish({{"200", "genuine archive"}}, key);
  for (const UpdateChannel& unconfigured :
       {UpdateChannel{false, server.url("/appcast.xml"), key.publicKeyBase64()},
        UpdateChannel{true, server.url("/appcast.xml"), std::nullopt},
        UpdateChannel{true, server.url("/appcast.xml"), std::string()},
        UpdateChannel{true, std::nullopt, key.publicKeyBase64()}}) {
    EXPECT_EQ(check(makeManager(unconfigured)),
              UpdateCheckResult::unavailable(reasons::kNotConfigured));
  }
  EXPECT_EQ(server.requestCount(), 0u);
}

}  // namespace
}  // namespace corvane::operations
