#include "main/operations_wiring.h"

#include <gtest/gtest.h>

#include "runtime/virtual_run_loop.h"
#include "support/temporary_folder.h"

namespace corvane::operations {
namespace {

TEST(UpdateChannelTest, TheManagerReadsTheRunningBundleAndDataFolder) {
  testing::TemporaryFolder folder;
  runtime::VirtualRunLoop loop;
  platform::Bundle bundle;
  bundle.root = folder.path() / "corvane";
  bundle.info["CFBundleVersion"] = platform::Value("77");
  bundle.info["CorvaneUpdateFeedURL"] = platform::Value("https://updates.example.com/appcast.xml");
  bundle.info["SUPublicEDKey"] = platform::Value("  a2V5  ");
  platform::WellKnownFolders folders;
  folders.dataHome = folder.path() / "data";

  auto manager = wiring::makeUpdateManager(bundle, folders, {});
  EXPECT_TRUE(manager->channel().isConfigured());
  EXPECT_EQ(manager->channel().feedURL, "https://updates.example.com/appcast.xml");
  EXPECT_EQ(manager->channel().publicEDKey, "a2V5");
  EXPECT_EQ(manager->updatesDirectory(), folder.path() / "data" / "Corvane" / "Updates");
}

}  // namespace
}  // namespace corvane::operations
