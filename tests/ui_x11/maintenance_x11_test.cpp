// The restart and the reveal for real: a new copy started as an argument array on the test's own
// X server, waiting for the old one; a file shown through a file manager on a private D-Bus
// session bus, and its folder opened when no file manager answers.
#include <fcntl.h>
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>

#include "platform/linux/file_manager_revealer.h"
#include "platform/linux/process_relauncher.h"
#include "platform/process.h"
#include "support/private_bus.h"
#include "support/temporary_folder.h"
#include "support/x11/xvfb_server.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::waitUntil;

std::string readAll(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeProgram(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
  fs::permissions(path, fs::perms::owner_all);
}

// A file manager on the bus: owns org.freedesktop.FileManager1 and keeps the URIs of every
// ShowItems call. Serves from a thread of its own.
class StandInFileManager {
 public:
  explicit StandInFileManager(std::string address) : thread_([this, address] { serve(address); }) {
    waitUntil([this] { return ready_.load(); });
  }
  ~StandInFileManager() {
    if (loop_ != nullptr) g_main_loop_quit(loop_);
    thread_.join();
  }
  bool ready() const { return ready_ && owned_; }
  std::vector<std::string> shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
  }

 private:
  static void handleCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                         const gchar* method, GVariant* parameters,
                         GDBusMethodInvocation* invocation, gpointer data) {
    auto* self = static_cast<StandInFileManager*>(data);
    if (g_strcmp0(method, "ShowItems") == 0) {
      GVariant* uris = g_variant_get_child_value(parameters, 0);
      gsize count = 0;
      const gchar** items = g_variant_get_strv(uris, &count);
      std::lock_guard lock(self->mutex_);
      for (gsize i = 0; i < count; ++i) self->shown_.emplace_back(items[i]);
      g_free(items);
      g_variant_unref(uris);
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }

  void serve(const std::string& address) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(
        "<node><interface name='org.freedesktop.FileManager1'><method name='ShowItems'>"
        "<arg type='as' name='uris' direction='in'/><arg type='s' name='startupId' "
        "direction='in'/></method></interface></node>",
        nullptr);
    if (connection != nullptr && node != nullptr) {
      static const GDBusInterfaceVTable vtable = {handleCall, nullptr, nullptr, {}};
      g_dbus_connection_register_object(connection, "/org/freedesktop/FileManager1",
                                        node->interfaces[0], &vtable, this, nullptr, nullptr);
      GVariant* reply = g_dbus_connection_call_sync(
          connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
          "RequestName", g_variant_new("(su)", "org.freedesktop.FileManager1", 4u),
          G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
      owned_ = reply != nullptr;
      if (reply != nullptr) g_variant_unref(reply);
    }
    loop_ = g_main_loop_new(context, FALSE);
    ready_ = true;
    if (owned_) g_main_loop_run(loop_);
    g_main_loop_unref(loop_);
    if (node != nullptr) g_dbus_node_info_unref(node);
    if (connection != nullptr) {
      g_dbus_connection_close_sync(connection, nullptr, nullptr);
      g_object_unref(connection);
    }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
  }

  std::atomic<bool> ready_{false};
  std::atomic<bool> owned_{false};
  GMainLoop* loop_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<std::string> shown_;
  std::thread thread_;
};

TEST(MaintenanceX11Test, RestartStartsTheProgramOnThisDisplayWaitingForTheOldCopy) {
  testing::XvfbServer xvfb(320, 200);
  ASSERT_TRUE(xvfb.ok());
  testing::TemporaryFolder folder("corvane-restart");
  // The installed program stands in as a script noting the display it got and its arguments.
  const fs::path program = folder.path() / "Corvane" / "bin" / "corvane";
  writeProgram(program, "#!/bin/sh\necho \"$DISPLAY\" \"$@\" > \"$0.launched\"\n");
  setenv("DISPLAY", xvfb.name().c_str(), 1);
  pid_t old = testing::spawnProgram({"sleep", "30"}, {});
  ASSERT_GT(old, 0);

  platform::ProcessRelauncher relauncher(program, old);
  ASSERT_TRUE(relauncher.relaunch().ok());
  ASSERT_TRUE(waitUntil([&] { return !readAll(program.string() + ".launched").empty(); }));
  EXPECT_EQ(readAll(program.string() + ".launched"),
            xvfb.name() + " --wait-for-exit-of=" + std::to_string(old) + "\n");

  // What the new copy does with the flag: wait, bounded, until the old process has gone.
  const std::vector<std::string> arguments{"corvane", "--wait-for-exit-of=" + std::to_string(old)};
  ASSERT_EQ(platform::processToAwait(arguments), old);
  EXPECT_FALSE(platform::waitForProcessExit(old, 0.05));
  testing::endProcess(old);
  EXPECT_TRUE(platform::waitForProcessExit(platform::processToAwait(arguments).value(), 5.0));
  EXPECT_FALSE(platform::processToAwait({"corvane", "--wait-for-exit-of=12x"}).has_value());

  // A program that cannot be started is a failure with its reason, not a quiet success.
  platform::ProcessRelauncher missing(folder.path() / "gone" / "bin" / "corvane", getpid());
  const auto failed = missing.relaunch();
  ASSERT_FALSE(failed.ok());
  EXPECT_NE(failed.message().find("gone/bin/corvane"), std::string::npos);
}

TEST(MaintenanceX11Test, RevealSelectsTheFileInTheFileManagerElseOpensItsFolder) {
  testing::XvfbServer xvfb(320, 200);
  ASSERT_TRUE(xvfb.ok());
  testing::TemporaryFolder folder("corvane-reveal");
  const fs::path exported = folder.path() / "exports" / "it's a \"log\" #1.jsonl";
  fs::create_directories(exported.parent_path());
  std::ofstream(exported) << "{}\n";
  // The folder opener stands in as a script noting what it was asked to open.
  const fs::path tools = folder.path() / "tools";
  writeProgram(tools / "xdg-open", "#!/bin/sh\necho \"$@\" > \"$0.opened\"\n");
  const std::string searchPath = tools.string() + ":/usr/bin:/bin";

  testing::PrivateBus bus(folder.path());
  {
    StandInFileManager fileManager(bus.address());
    ASSERT_TRUE(fileManager.ready());
    platform::FileManagerRevealer revealer(searchPath, nullptr, bus.address());
    const auto route = revealer.revealNow(exported);
    ASSERT_TRUE(route.ok()) << route.message();
    EXPECT_EQ(route.value(), platform::RevealRoute::selectedInFileManager);
    EXPECT_EQ(fileManager.shown(), std::vector<std::string>{platform::fileURI(exported)});
    EXPECT_EQ(platform::fileURI(exported).substr(platform::fileURI(exported).rfind('/')),
              "/it%27s%20a%20%22log%22%20%231.jsonl");
  }
  // The file manager has gone: its folder is opened instead.
  platform::FileManagerRevealer revealer(searchPath, nullptr, bus.address());
  const auto route = revealer.revealNow(exported);
  ASSERT_TRUE(route.ok()) << route.message();
  EXPECT_EQ(route.value(), platform::RevealRoute::folderOpened);
  ASSERT_TRUE(waitUntil([&] { return !readAll(tools / "xdg-open.opened").empty(); }));
  EXPECT_EQ(readAll(tools / "xdg-open.opened"), exported.parent_path().string() + "\n");
  EXPECT_FALSE(fs::exists(folder.path() / "PWNED"));
}

}  // namespace
}  // namespace corvane
