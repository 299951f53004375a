#include <gtest/gtest.h>

#include "model/production_configuration.h"
#include "operations/appcast_parser.h"
#include "operations/numeric_version.h"
#include "operations/test_update_fixtures.h"
#include "operations/update_artifact_verifier.h"
#include "operations/update_check_result.h"
#include "operations/update_manager.h"
#include "platform/signature_verifier.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::operations {
namespace {

std::string feedWith(const std::string& items) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
         "sparkle\"><channel><title>Corvane</title>" +
         items + "</channel></rss>";
}

std::string item(const std::string& enclosureAttributes) {
  return "<item><title>x</title><enclosure " + enclosureAttributes + "/></item>";
}

TEST(NumericVersionTest, ComparesDigitRunsByValue) {
  EXPECT_GT(compareVersionsNumerically("10", "9"), 0);
  EXPECT_GT(compareVersionsNumerically("1.10", "1.9"), 0);
  EXPECT_LT(compareVersionsNumerically("1.2", "1.2.1"), 0);
  EXPECT_EQ(compareVersionsNumerically("10", "10"), 0);
  EXPECT_EQ(compareVersionsNumerically("007", "7"), 0);
  EXPECT_GT(compareVersionsNumerically("2.0b", "2.0a"), 0);
  EXPECT_GT(compareVersionsNumerically("123456789012345678901234567890", "99"), 0);
  EXPECT_FALSE(isNewerVersion("10", "10"));
  EXPECT_TRUE(isNewerVersion("11", "10"));
}

TEST(AppcastParserTest, ReadsEveryUsableEnclosureInDocumentOrder) {
  const std::string feed = feedWith(
      item(R"(sparkle:version="9" url="https://u.example/9.zip" sparkle:edSignature="c2ln")") +
      "<item><enclosure version=\"10\" url=\"https://u.example/10.zip\" edSignature=\"MTA=\"/>"
      "<enclosure sparkle:version=\"8\" url=\"https://u.example/8.zip\" "
      "sparkle:edSignature=\" s8 \"/></item><deep><enclosure sparkle:version=\"7\" "
      "url=\"https://u.example/7.zip\" sparkle:edSignature=\"Nw\"/></deep>");
  auto entries = AppcastParser::parse(feed);
  ASSERT_TRUE(entries.ok()) << entries.message();
  ASSERT_EQ(entries->size(), 4u);
  EXPECT_EQ((*entries)[0], (AppcastEntry{"9", "https://u.example/9.zip", "c2ln"}));
  EXPECT_EQ((*entries)[1], (AppcastEntry{"10", "https://u.example/10.zip", "MTA="}));
  EXPECT_EQ((*entries)[2].edSignature, " s8 ");  // kept as written
  EXPECT_EQ((*entries)[3].version, "7");
}

TEST(AppcastParserTest, SkipsEnclosuresWithoutHttpsUrlVersionOrSignature) {
  const std::string feed = feedWith(
      item(R"(sparkle:version="9" url="http://u.example/9.zip" sparkle:edSignature="c2ln")") +
      item(R"(sparkle:version="9" url="HTTPS://u.example/9.zip" sparkle:edSignature="c2ln")") +
      item(R"(sparkle:version="9" url="https://u.example/9.zip")") +
      item(R"(url="https://u.example/9.zip" sparkle:edSignature="c2ln")") +
      item(R"(sparkle:version="  " url="https://u.example/9.zip" sparkle:edSignature="c2ln")") +
      item(R"(sparkle:version="9" url="https://u.example/9.zip" sparkle:edSignature="&#10;")") +
      item(R"(sparkle:version="9" url="not a url" sparkle:edSignature="c2ln")") +
      item(R"(sparkle:version="9" sparkle:edSignature="c2ln")") +
      "<sparkle:enclosure sparkle:version=\"9\" url=\"https://u.example/9.zip\" "
      "sparkle:edSignature=\"c2ln\"/>");
  auto entries = AppcastParser::parse(feed);
  ASSERT_TRUE(entries.ok());
  EXPECT_TRUE(entries->empty());
}

TEST(AppcastParserTest, MalformedOrEntityDeclaringFeedsAreErrors) {
  EXPECT_FALSE(AppcastParser::parse("").ok());
  EXPECT_FALSE(AppcastParser::parse("<rss><channel>").ok());
  EXPECT_FALSE(AppcastParser::parse("not xml at all").ok());
  EXPECT_FALSE(AppcastParser::parse("<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaa\">"
                                    "<!ENTITY b \"&a;&a;&a;&a;\">]><r>&b;</r>")
                   .ok());
}

TEST(AppcastParserTest, NewestFirstKeepsFeedOrderForEqualVersions) {
  std::vector<AppcastEntry> entries = {{"9", "https://a/9", "s"},
                                       {"10", "https://a/10-first", "s"},
                                       {"8", "https://a/8", "s"},
                                       {"10", "https://a/10-second", "s"}};
  auto sorted = sortedNewestFirst(entries);
  EXPECT_EQ(sorted[0].url, "https://a/10-first");
  EXPECT_EQ(sorted[1].url, "https://a/10-second");
  EXPECT_EQ(sorted[2].version, "9");
  EXPECT_EQ(sorted[3].version, "8");
}

class ArtifactVerifierTest : public ::testing::Test {
 protected:
  std::shared_ptr<platform::SignatureVerifier> verifier = platform::makeSignatureVerifier();
  testing::SigningKey key;
  const std::string archive = "PK\x03\x04 archive bytes";
};

TEST_F(ArtifactVerifierTest, AcceptsTheSignatureOfTheArchiveBytes) {
  EXPECT_TRUE(UpdateArtifactVerifier::verify(*verifier, archive, key.signBase64(archive),
                                             key.publicKeyBase64()));
}

TEST_F(ArtifactVerifierTest, RefusesTamperedArchivesAndOtherKeys) {
  const std::string signature = key.signBase64(archive);
  EXPECT_FALSE(
      UpdateArtifactVerifier::verify(*verifier, archive + "!", signature, key.publicKeyBase64()));
  testing::SigningKey other;
  EXPECT_FALSE(
      UpdateArtifactVerifier::verify(*verifier, archive, signature, other.publicKeyBase64()));
}

TEST_F(ArtifactVerifierTest, UrlSafeAlphabetWithoutPaddingVerifiesLikeTheStandardForm) {
  auto urlSafe = [](std::string text) {
    for (char& c : text) {
      if (c == '+') c = '-';
      if (c == '/') c = '_';
    }
    while (!text.empty() && text.back() == '=') text.pop_back();
    return text;
  };
  // Sign until both texts use the characters that differ between the alphabets.
  std::string message = archive;
  std::string signature = key.signBase64(message);
  for (int i = 0; signature.find_first_of("+/") == std::string::npos && i < 64; ++i) {
    message += "x";
    signature = key.signBase64(message);
  }
  EXPECT_TRUE(UpdateArtifactVerifier::verify(*verifier, message, urlSafe(signature),
                                             urlSafe(key.publicKeyBase64())));
}

TEST_F(ArtifactVerifierTest, RefusesMalformedKeysAndSignatures) {
  const std::string signature = key.signBase64(archive);
  const std::string publicKey = key.publicKeyBase64();
  std::vector<unsigned char> shortKey(key.publicKey.begin(), key.publicKey.end() - 1);
  EXPECT_FALSE(
      UpdateArtifactVerifier::verify(*verifier, archive, signature, testing::base64(shortKey)));
  std::string brokenLine = signature;
  brokenLine.insert(20, "\n");
  EXPECT_FALSE(UpdateArtifactVerifier::verify(*verifier, archive, brokenLine, publicKey));
  EXPECT_FALSE(UpdateArtifactVerifier::verify(*verifier, archive, " " + signature, publicKey));
  EXPECT_FALSE(UpdateArtifactVerifier::verify(*verifier, archive, "%%%%garbage%%%%", publicKey));
  EXPECT_FALSE(UpdateArtifactVerifier::verify(*verifier, archive, signature + "AAAA", publicKey));
  EXPECT_FALSE(UpdateArtifactVerifier::verify(*verifier, archive, "", publicKey));
  EXPECT_FALSE(UpdateArtifactVerifier::verify(*verifier, archive, signature, ""));
  // 32 zero bytes decode to the right length but are not a usable key.
  EXPECT_FALSE(UpdateArtifactVerifier::verify(*verifier, archive, signature,
                                              testing::base64(std::vector<unsigned char>(32, 0))));
}

TEST(UpdateCheckResultTest, MessagesAreTheSentencesShown) {
  EXPECT_EQ(UpdateCheckResult::updateAvailable("2.5", "/x.zip").message(),
            "Verified update 2.5 is ready");
  EXPECT_EQ(UpdateCheckResult::current().message(), "Corvane is up to date");
  EXPECT_EQ(UpdateCheckResult::unavailable("Update feed is unreachable.").message(),
            "Update feed is unreachable.");
  EXPECT_NE(UpdateCheckResult::unavailable("a"), UpdateCheckResult::unavailable("b"));
}

TEST(UpdateArchiveNameTest, VersionBecomesASafeFileName) {
  EXPECT_EQ(UpdateManager::archiveFileName("2.0/beta"), "Corvane-2.0-beta.zip");
  EXPECT_EQ(UpdateManager::archiveFileName("2.5+241_rc-1"), "Corvane-2.5+241_rc-1.zip");
  EXPECT_EQ(UpdateManager::archiveFileName("../../etc\npasswd"), "Corvane-..-..-etc-passwd.zip");
  EXPECT_EQ(UpdateManager::archiveFileName("1 2$(x)"), "Corvane-1-2--x-.zip");
}

TEST(UpdateChannelTest, TakesTheBuildSettingsOfTheBundle) {
  model::ProductionConfiguration configuration;
  configuration.updateFeedURL = "https://updates.example.com/appcast.xml";
  configuration.sparklePublicEDKey = "a2V5";
  EXPECT_TRUE(UpdateChannel::from(configuration).isConfigured());
  EXPECT_EQ(UpdateChannel::from(configuration).feedURL, configuration.updateFeedURL);
  configuration.automaticUpdatesEnabled = false;
  EXPECT_FALSE(UpdateChannel::from(configuration).isConfigured());
}

}  // namespace
}  // namespace corvane::operations
