// The share window read by a recorder while its window manager is replaced or killed and started
// again, with a private window lying over it: the window manager reframes, remaps, resizes and
// restacks the window, and no read may return what lies over it. The test starts its own Xvfb
// and runs the Qt part in a child process on Qt's xcb platform (this executable, re-run with a
// filter).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "capture/protected_output_surface.h"
#include "ui/protected_share_canvas.h"
#include "ui/protected_share_window_view.h"
#include "ui/qt_test_support.h"
#include "ui/qt_window_system.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include "support/private_bus.h"
#include "support/x11/xvfb_server.h"
#include "ui_x11/qt_x11_child.h"
#include "ui_x11/share_window_on_x11.h"

#include <signal.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

namespace corvane::ui {
namespace {

using testing::OutputWindowOnX11;

constexpr const char* const kChildVariable = "CORVANE_UI_X11_CHILD";
constexpr const char* kManagerVariable = "CORVANE_RESTARTED_WINDOW_MANAGER";
constexpr QRgb kShared = qRgb(230, 20, 200);
constexpr std::uint32_t kPrivate = 0x12EE34;  // no other window shows it
constexpr int kEventsOfEachKind = 20;

bool runUnder(const std::string& manager) {
  corvane::testing::XvfbServer server(1280, 800);
  if (!server.ok()) return false;
  return testing::runQtChildOn(server, "ShareWindowWindowManagerRestartX11Child.*", kChildVariable,
                               {std::string(kManagerVariable) + "=" + manager});
}

bool isInstalled(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(ShareWindowThroughWindowManagerRestarts, UnderOpenbox) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  if (!isInstalled("openbox")) GTEST_SKIP() << "openbox is not installed";
  EXPECT_TRUE(runUnder("openbox"));
}

TEST(ShareWindowThroughWindowManagerRestarts, UnderXfwm4) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  if (!isInstalled("xfwm4")) GTEST_SKIP() << "xfwm4 is not installed";
  EXPECT_TRUE(runUnder("xfwm4"));
}

// A window manager the test starts, replaces and kills, in a HOME of its own with a session bus
// (xfwm4 reads its settings over it).
class RestartedWindowManager {
 public:
  explicit RestartedWindowManager(std::string program)
      : program_(std::move(program)), home_(makeHome(program_)), bus_(home_) {}
  ~RestartedWindowManager() {
    corvane::testing::endProcess(pid_, SIGKILL);
    std::filesystem::remove_all(home_);
  }

  bool start() {
    pid_ = spawn(false);
    return pid_ > 0;
  }
  // Another instance takes over; true once the one it replaced has ended.
  bool replace() {
    pid_t replaced = pid_;
    pid_ = spawn(true);
    return pid_ > 0 && endedWithin(replaced, corvane::testing::kPatientWaitSeconds);
  }
  // Killed as a crash ends it, then started again.
  bool killAndRestart() {
    corvane::testing::endProcess(pid_, SIGKILL);
    return start();
  }

 private:
  pid_t spawn(bool replacing) const {
    std::vector<std::string> command{program_};
    if (program_ == "openbox") {
      command.insert(command.end(), {"--sm-disable", "--config-file",
                                     (home_ / ".config/openbox/rc.xml").string()});
    }
    if (program_ == "xfwm4") command.push_back("--compositor=off");
    if (replacing) command.push_back("--replace");
    return corvane::testing::spawnQuietly(
        command, {"HOME=" + home_.string(), "XDG_CONFIG_HOME=" + (home_ / ".config").string(),
                  "DBUS_SESSION_BUS_ADDRESS=" + bus_.address(), "NO_AT_BRIDGE=1"});
  }
  static std::filesystem::path makeHome(const std::string& program) {
    const auto home = std::filesystem::temp_directory_path() /
                      ("corvane-restarted-" + program + "-" + std::to_string(getpid()));
    std::filesystem::create_directories(home / ".config/openbox");
    std::ofstream(home / ".config/openbox/rc.xml")
        << "<?xml version=\"1.0\"?>\n<openbox_config xmlns=\"http://openbox.org/3.4/rc\">"
        << "</openbox_config>\n";
    return home;
  }
  static bool endedWithin(pid_t& pid, double seconds) {
    int status = 0;
    const bool ended =
        corvane::testing::waitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, seconds);
    if (!ended) corvane::testing::endProcess(pid, SIGKILL);
    pid = -1;
    return ended;
  }

  std::string program_;
  std::filesystem::path home_;
  corvane::testing::PrivateBus bus_;
  pid_t pid_ = -1;
};

// What the test's own xcb connection reads of a window and its place in the tree.
class TreeReader {
 public:
  TreeReader() : connection_(xcb_connect(nullptr, nullptr)) {}
  ~TreeReader() { xcb_disconnect(connection_); }
  TreeReader(const TreeReader&) = delete;
  TreeReader& operator=(const TreeReader&) = delete;

  bool ok() const { return xcb_connection_has_error(connection_) == 0; }
  xcb_window_t parentOf(xcb_window_t window) const {
    auto* tree = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr);
    if (tree == nullptr) return XCB_NONE;
    const xcb_window_t parent = tree->parent;
    std::free(tree);
    return parent;
  }
  xcb_window_t root() const {
    return xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  }
  bool isViewable(xcb_window_t window) const {
    auto* attributes = xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, window), nullptr);
    const bool viewable = attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    return viewable;
  }
  void raise(xcb_window_t window) const {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(connection_, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    roundTrip();
  }
  // The pixels of `colour` in the window as XGetImage returns them; nothing when refused (the
  // window is unmapped, or gone between reads).
  std::optional<std::size_t> pixelsOf(xcb_window_t window, std::uint32_t colour) const {
    auto* geometry =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
    if (geometry == nullptr) return std::nullopt;
    const auto width = geometry->width, height = geometry->height;
    std::free(geometry);
    auto* image = xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, width, height, ~0u),
        nullptr);
    if (image == nullptr) return std::nullopt;
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(image));
    const int count = xcb_get_image_data_length(image) / 4;
    std::size_t found = 0;
    for (int i = 0; i < count; ++i) found += (pixels[i] & 0xFFFFFFu) == colour;
    std::free(image);
    return found;
  }

 private:
  void roundTrip() const {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }
  xcb_connection_t* connection_;
};

using ShareWindowWindowManagerRestartX11Child = testing::QtX11ChildTest<&kChildVariable>;

TEST_F(ShareWindowWindowManagerRestartX11Child, NoReadReturnsThePrivateWindowLyingOverIt) {
  ASSERT_TRUE(testing::isX11Session());
  RestartedWindowManager manager(std::getenv(kManagerVariable));
  ASSERT_TRUE(manager.start());
  ASSERT_TRUE(corvane::testing::XvfbServer::awaitWindowManagement(std::getenv("DISPLAY"), 10.0));
  testing::RecorderConnection test;
  ASSERT_NE(test.display(), nullptr);
  // A capture session redirects every top-level window, the share window's frame included.
  XCompositeRedirectSubwindows(test.display(), DefaultRootWindow(test.display()),
                               CompositeRedirectAutomatic);

  OutputWindowOnX11 output;
  ASSERT_EQ(output.beginSession(), "");
  auto& window = output.window();
  const auto id = static_cast<xcb_window_t>(window.hostWidget()->winId());
  auto* view = static_cast<ProtectedShareWindowView*>(
      std::dynamic_pointer_cast<QtContentView>(window.contentView())->widget());
  auto frame = std::make_shared<platform::PixelBuffer>(900, 560);
  frame->fill(0xFF000000u | kShared);
  output.surface->update(frame, 1);
  ASSERT_TRUE(output.manager->publishLiveFrame({900, 560}));
  ASSERT_TRUE(processUntil([&] {
    return view->canvas()->lastPresentedRevision() == output.surface->revision() &&
           testing::isViewableOnX11(window.hostWidget()->winId());
  }));
  processFor(300);

  // A private window (a notification, say) lies over the middle of the share window.
  const QRect shown = window.hostWidget()->geometry();
  XSetWindowAttributes lying{};
  lying.override_redirect = True;
  lying.background_pixel = kPrivate;
  const Window secret = XCreateWindow(
      test.display(), DefaultRootWindow(test.display()), shown.x() + shown.width() / 4,
      shown.y() + shown.height() / 4, static_cast<unsigned>(shown.width() / 2),
      static_cast<unsigned>(shown.height() / 2), 0, CopyFromParent, InputOutput, CopyFromParent,
      CWOverrideRedirect | CWBackPixel, &lying);
  XMapRaised(test.display(), secret);
  XSync(test.display(), False);

  TreeReader tree;
  ASSERT_TRUE(tree.ok());
  std::atomic<bool> done{false};
  std::atomic<int> reads{0}, leakingReads{0};
  std::atomic<std::size_t> mostLeaked{0};
  std::thread reader([&] {
    TreeReader recorder;
    while (!done.load()) {
      if (const auto leaked = recorder.pixelsOf(id, kPrivate)) {
        ++reads;
        if (*leaked > 0) ++leakingReads;
        if (*leaked > mostLeaked.load()) mostLeaked.store(*leaked);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });

  std::vector<std::string> failures;
  std::thread restarts([&] {
    auto framedAgainAfter = [&](const char* what, const auto& restart) {
      const xcb_window_t before = tree.parentOf(id);
      if (!restart()) return failures.push_back(std::string(what) + " failed"), false;
      // Managed again: in a frame of the new window manager's, shown.
      const bool framed = corvane::testing::waitUntil([&] {
        const xcb_window_t parent = tree.parentOf(id);
        return parent != before && parent != tree.root() && parent != XCB_NONE &&
               tree.isViewable(id);
      });
      if (!framed)
        return failures.push_back(std::string(what) + " left the window unframed"), false;
      // Its reframes, restacks and the share window's own repaint settle meanwhile.
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      tree.raise(secret);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      return true;
    };
    for (int round = 0; round < kEventsOfEachKind; ++round) {
      if (!framedAgainAfter("replace", [&] { return manager.replace(); })) break;
      if (!framedAgainAfter("kill and restart", [&] { return manager.killAndRestart(); })) break;
    }
    done.store(true);
  });
  EXPECT_TRUE(processUntil([&] { return done.load(); }, 600.0));
  done.store(true);
  restarts.join();
  reader.join();
  EXPECT_TRUE(failures.empty()) << failures.front();
  EXPECT_GT(reads.load(), 4 * kEventsOfEachKind);
  EXPECT_GT(tree.pixelsOf(tree.root(), kPrivate).value_or(0), 0u)
      << "the private window is not on the screen over the share window";
  EXPECT_EQ(leakingReads.load(), 0) << "of " << reads.load() << " reads; at most "
                                    << mostLeaked.load() << " private pixels in one";
  output.manager->endSession(true);
}

}  // namespace
}  // namespace corvane::ui
