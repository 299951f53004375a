#include <gtest/gtest.h>

#include <filesystem>

#include "operations/test_https_server.h"
#include "operations/test_update_fixtures.h"
#include "platform/archive_extractor.h"
#include "platform/http_client.h"
#include "platform/xml_elements.h"

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;
using operations::testing::TemporaryFolder;
using operations::testing::TestHttpsServer;
using operations::testing::ZipEntry;
using Kind = ZipEntry::Kind;

std::shared_ptr<HttpClient> trustingTestCA() {
  return makeHttpClient(HttpClientOptions{operations::testing::TestCertificates::shared().caFile});
}

TEST(HttpClientTest, VerifiesTheServerCertificate) {
  TestHttpsServer server([](const TestHttpsServer::Request&) {
    return TestHttpsServer::Reply{200, "hello"};
  });
  HttpRequest request;
  request.url = server.url("/hello");
  // The system's authorities do not know the test CA: the request must fail, not pass unchecked.
  EXPECT_FALSE(makeHttpClient()->perform(request).ok());
  auto trusted = trustingTestCA()->perform(request);
  ASSERT_TRUE(trusted.ok()) << trusted.message();
  EXPECT_EQ(trusted->statusCode, 200);
  EXPECT_EQ(trusted->body, "hello");
}

TEST(HttpClientTest, RefusesPlainHttpAndOversizedBodies) {
  TestHttpsServer server([](const TestHttpsServer::Request&) {
    return TestHttpsServer::Reply{200, std::string(5000, 'x')};
  });
  HttpRequest plain;
  plain.url = "http://127.0.0.1:" + std::to_string(server.port()) + "/";
  EXPECT_FALSE(trustingTestCA()->perform(plain).ok());

  HttpRequest limited;
  limited.url = server.url("/big");
  limited.maxResponseBytes = 4096;
  auto response = trustingTestCA()->perform(limited);
  ASSERT_FALSE(response.ok());
  EXPECT_EQ(response.message(), "The response is larger than allowed.");
}

TEST(HttpClientTest, SendsMethodHeadersAndBody) {
  TestHttpsServer server([](const TestHttpsServer::Request& request) {
    return TestHttpsServer::Reply{request.method == "POST" ? 201 : 400, request.body};
  });
  HttpRequest request;
  request.method = "POST";
  request.url = server.url("/upload");
  request.headers["X-Corvane"] = "yes";
  request.body = std::string("line one\nline two\0end", 22);
  auto response = trustingTestCA()->perform(request);
  ASSERT_TRUE(response.ok()) << response.message();
  EXPECT_EQ(response->statusCode, 201);
  EXPECT_EQ(response->body, request.body);
  EXPECT_EQ(server.requests().at(0).headers["x-corvane"], "yes");
}

class ArchiveExtractorTest : public ::testing::Test {
 protected:
  runtime::Status extract(const std::vector<ZipEntry>& entries, ExtractionLimits limits = {}) {
    fs::remove_all(destination);
    fs::create_directories(destination);
    return makeArchiveExtractor()->extract(operations::testing::makeZip(entries), destination,
                                           limits);
  }

  // Everything in the test folder that is neither in the unpack folder nor on the way to it.
  std::vector<std::string> outsideDestination() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder.path())) {
      const auto inside = entry.path().lexically_relative(destination);
      const auto above = destination.lexically_relative(entry.path());
      if (*inside.begin() == ".." && *above.begin() == "..") names.push_back(entry.path().string());
    }
    return names;
  }

  TemporaryFolder folder;
  fs::path destination = folder.path() / "deep" / "out";
};

TEST_F(ArchiveExtractorTest, UnpacksFilesFoldersAndInsideLinks) {
  const auto status = extract({{"app/", "", 0755, Kind::folder, ""},
                               {"app/bin/tool", "#!/bin/sh\n", 0755, Kind::file, ""},
                               {"app/lib/libx.so.1", "elf", 0644, Kind::file, ""},
                               {"app/lib/libx.so", "", 0777, Kind::symlink, "libx.so.1"}});
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(operations::testing::readWholeFile(destination / "app/lib/libx.so"), "elf");
  EXPECT_TRUE(fs::is_symlink(destination / "app/lib/libx.so"));
  EXPECT_NE(fs::status(destination / "app/bin/tool").permissions() & fs::perms::owner_exec,
            fs::perms::none);
}

TEST_F(ArchiveExtractorTest, RefusesWritingThroughALinkAndDuplicateEntries) {
  EXPECT_FALSE(extract({{"app/escape", "", 0777, Kind::symlink, "sub"},
                        {"app/sub/", "", 0755, Kind::folder, ""},
                        {"app/escape/file", "x", 0644, Kind::file, ""}})
                   .ok());
  EXPECT_FALSE(extract({{"app/file", "one", 0644, Kind::file, ""},
                        {"app/file", "two", 0644, Kind::file, ""}})
                   .ok());
}

TEST_F(ArchiveExtractorTest, DotElementsAndChainsOfLinksCannotLeadOutside) {
  const std::vector<std::vector<ZipEntry>> hostile = {
      // A name ending in "/." names the folder itself; its link would replace "d".
      {{"d/", "", 0755, Kind::folder, ""},
       {"d/x/.", "", 0777, Kind::symlink, "../.."},
       {"d/x/escaped", "out", 0644, Kind::file, ""}},
      {{"d//x", "", 0777, Kind::symlink, "."}},
      {{"./x", "out", 0644, Kind::file, ""}},
      // Each link looks harmless on its own; together they lead two levels up.
      {{"d/a", "", 0777, Kind::symlink, ".."},
       {"d/b", "", 0777, Kind::symlink, "a/../.."},
       {"d/b/escaped", "out", 0644, Kind::file, ""}},
      // A later link changes where an earlier one leads.
      {{"x", "", 0777, Kind::symlink, "d/e/../.."}, {"d/e", "", 0777, Kind::symlink, ".."}},
      // Links that lead round in circles.
      {{"p", "", 0777, Kind::symlink, "q/.."}, {"q", "", 0777, Kind::symlink, "p/.."}},
  };
  for (const auto& entries : hostile) {
    EXPECT_FALSE(extract(entries).ok()) << entries.front().name;
    EXPECT_EQ(outsideDestination(), std::vector<std::string>{}) << entries.front().name;
  }
  const auto inside = extract({{"app/lib/libx.so.1", "elf", 0644, Kind::file, ""},
                               {"app/bin/lib", "", 0777, Kind::symlink, "../lib"},
                               {"app/up", "", 0777, Kind::symlink, "bin/lib/.."}});
  EXPECT_TRUE(inside.ok()) << inside.message();
}

TEST_F(ArchiveExtractorTest, RefusesNamedPipesLikeDevices) {
  const auto status = extract({{"app/pipe", "", 0644, Kind::fifo, ""}});
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "Archive entry is not a file or folder: app/pipe");
  EXPECT_FALSE(fs::exists(destination / "app" / "pipe"));
}

TEST_F(ArchiveExtractorTest, DeclaredSizesAreCheckedBeforeAnythingIsWritten) {
  const auto status = extract({{"first", std::string(600, 'a'), 0644, Kind::file, ""},
                               {"second", std::string(600, 'b'), 0644, Kind::file, ""}},
                              ExtractionLimits{10, 1000});
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.message(), "Archive unpacks to more data than allowed.");
  EXPECT_TRUE(fs::is_empty(destination));
}

TEST_F(ArchiveExtractorTest, EnforcesTheLimits) {
  std::vector<ZipEntry> many;
  for (int i = 0; i < 5; ++i) many.push_back({"f" + std::to_string(i), "x", 0644, Kind::file, ""});
  EXPECT_FALSE(extract(many, ExtractionLimits{3, 1 << 20}).ok());
  EXPECT_TRUE(extract(many, ExtractionLimits{5, 1 << 20}).ok());
  const auto big = extract({{"big", std::string(100000, 'z'), 0644, Kind::file, ""}},
                           ExtractionLimits{10, 1000});
  ASSERT_FALSE(big.ok());
  EXPECT_EQ(big.message(), "Archive unpacks to more data than allowed.");
}

TEST_F(ArchiveExtractorTest, ADamagedArchiveIsAnError) {
  std::string bytes = operations::testing::makeZip({{"a", "abc", 0644, Kind::file, ""}});
  fs::create_directories(destination);
  EXPECT_FALSE(
      makeArchiveExtractor()->extract(bytes.substr(0, bytes.size() / 2), destination, {}).ok());
}

TEST(XmlElementsTest, ReportsElementsWithPrefixedNamesInOrder) {
  std::vector<std::string> names;
  auto status = forEachXmlElementStart(
      "<a xmlns:s=\"urn:x\"><s:b s:k=\"v\"/><c/></a>",
      [&names](const std::string& name, const XmlAttributes& attributes) {
        names.push_back(name +
                        (attributes.count("s:k") != 0 ? "[" + attributes.at("s:k") + "]" : ""));
      });
  ASSERT_TRUE(status.ok());
  EXPECT_EQ(names, (std::vector<std::string>{"a", "s:b[v]", "c"}));
}

}  // namespace
}  // namespace corvane::platform
