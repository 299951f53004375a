// Frames composed again only where the windows changed: each one must equal a whole composition
// of the same moment, pixel for pixel, and differ from the frame before only inside the areas it
// reports, however the windows are painted, moved, resized, restacked, mapped, unmapped or
// excluded and the desktop background changes, with and without scaling, while the consumer holds
// some frames and lets go of others.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <random>

#include "capture_fixture.h"
#include "platform/x11/capture_session.h"
#include "platform/x11/frame_composer.h"

namespace corvane::platform::x11::testing {
namespace {

constexpr int kScreenWidth = 360, kScreenHeight = 280;

struct Geometry {
  int x, y, width, height;
};

std::string geometryText(const Geometry& g) {
  return std::to_string(g.width) + "x" + std::to_string(g.height) + "+" + std::to_string(g.x) +
         "+" + std::to_string(g.y);
}

std::string colourText(std::uint32_t rgb) {
  char text[8];
  std::snprintf(text, sizeof text, "%06X", rgb & 0xFFFFFFu);
  return text;
}

// Where two frames of one size differ: how many pixels, and the first.
struct Difference {
  std::size_t count = 0;
  int x = -1, y = -1;
};

Difference differ(const PixelBuffer& a, const PixelBuffer& b,
                  const std::vector<PixelChanges::Area>* outside = nullptr) {
  Difference found;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) == b.pixel(x, y)) continue;
      if (outside != nullptr) {
        bool inside = false;
        for (const auto& area : *outside) {
          inside = inside || (x >= area.x && x < area.x + area.width && y >= area.y &&
                              y < area.y + area.height);
        }
        if (inside) continue;
      }
      if (found.count++ == 0) found.x = x, found.y = y;
    }
  }
  return found;
}

// A capture session over a private X server of the tests' size, its desktop green.
struct CaptureDesktop {
  explicit CaptureDesktop(bool underOpenbox) : server(kScreenWidth, kScreenHeight) {
    if (!server.ok() || (underOpenbox && !server.startWindowManager())) return;
    setRootBackground(server.name(), kGreen);
    auto opened = XConnection::open(server.name());
    if (!opened.ok()) return;
    connection = std::move(opened).value();
    auto capture = CaptureSession::open(*connection, plainIdentities());
    if (capture.ok()) session = std::move(capture).value();
  }
  XvfbServer server;
  std::unique_ptr<XConnection> connection;
  std::unique_ptr<CaptureSession> session;
};

// Scaled or not; without a window manager or under openbox.
class DamageLimitedFrames : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(DamageLimitedFrames, EqualWholeCompositionsAndChangeOnlyWhereTheySay) {
  const auto [scaled, underOpenbox] = GetParam();
  CaptureDesktop desktop(underOpenbox);
  ASSERT_NE(desktop.session, nullptr) << "no X server, window manager or capture session";
  XvfbServer& server = desktop.server;
  Display* display = desktop.connection->display();
  CaptureSession& session = *desktop.session;
  // The reference: a composer of its own over the same windows, composing every frame whole.
  auto reference = FrameComposer::create(display, XInternAtom(display, "_XROOTPMAP_ID", False));
  ASSERT_TRUE(reference.ok()) << reference.message();
  Display* control = XOpenDisplay(server.name().c_str());
  ASSERT_NE(control, nullptr);

  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed * 7919u + (scaled ? 1u : 0u) + (underOpenbox ? 2u : 0u));
    auto between = [&](int low, int high) {
      return std::uniform_int_distribution<int>(low, high)(random);
    };
    auto randomGeometry = [&] {
      const int width = between(20, 200), height = between(20, 160);
      return Geometry{between(-30, kScreenWidth - 10), between(-30, kScreenHeight - 10), width,
                      height};
    };
    std::vector<std::unique_ptr<TestClient>> clients;
    const std::uint32_t colours[] = {kRed, kBlue, kMagenta, kYellow};
    for (int i = 0; i < 4; ++i) {
      const Geometry g = randomGeometry();
      clients.push_back(std::make_unique<TestClient>(
          server.name(), TestClientOptions{.windowClass = i == 0 ? "Secret" : "Public",
                                           .colour = colours[i],
                                           .x = g.x,
                                           .y = g.y,
                                           .width = g.width,
                                           .height = g.height}));
      ASSERT_NE(clients.back()->window(), 0u);
    }
    ContentFilter filter = excluding({"Secret"});
    StreamConfiguration configuration;
    if (scaled) {
      configuration.width = between(kScreenWidth / 3, kScreenWidth * 3 / 2);
      configuration.height = between(kScreenHeight / 3, kScreenHeight * 3 / 2);
    }
    auto applyEvents = [&] {
      XSync(display, False);
      bool any = false;
      while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        session.handle(event);
        any = true;
      }
      return any;
    };
    // The frames the consumer holds, each with a copy of what it held when made: frames are
    // let go of at random, so buffers written again held frames of different ages.
    std::deque<std::pair<SharedPixelBuffer, PixelBuffer>> held;
    std::optional<PixelBuffer> previous;
    std::uint64_t previousSerial = 0;
    int partial = 0;
    for (int turn = 0; turn < 30; ++turn) {
      SCOPED_TRACE("turn " + std::to_string(turn));
      TestClient& client = *clients[between(0, 3)];
      const Window window = client.window();
      const int action = between(0, 8);
      SCOPED_TRACE("action " + std::to_string(action));
      switch (action) {
        case 0:
        case 1:
          client.command("paint " + geometryText(randomGeometry()) + " " +
                         colourText(random() & 0xFFFFFF));
          break;
        case 2:
          XMoveWindow(control, window, between(-30, kScreenWidth - 10),
                      between(-30, kScreenHeight - 10));
          break;
        case 3:
          XResizeWindow(control, window, between(20, 200), between(20, 160));
          XSetWindowBorderWidth(control, window, between(0, 3));
          break;
        case 4:
          if (between(0, 1))
            XRaiseWindow(control, window);
          else
            XLowerWindow(control, window);
          break;
        case 5:
          XUnmapWindow(control, window);
          if (between(0, 1)) XMapWindow(control, window);
          break;
        case 6:
          XMapWindow(control, window);
          client.command("child " + geometryText({between(0, 40), between(0, 40), 30, 20}) + " " +
                         colourText(kCyan));
          break;
        case 7:
          setRootBackground(server.name(), random() & 0xFFFFFF);
          break;
        default:
          filter = between(0, 1) ? excluding({"Secret"}) : excluding({"Public"});
          break;
      }
      XSync(control, False);
      // Frames composed by changes until one is next to a whole composition with no event in
      // between (each frame is checked against the one before all the same).
      bool compared = false;
      for (int attempt = 0; attempt < 20 && !compared && !HasFailure(); ++attempt) {
        ASSERT_TRUE(waitUntil([&] { return !applyEvents(); }));
        auto frame = session.compose(filter, configuration, 0);
        if (!frame.ok()) continue;  // a change came in while composing
        auto area = session.areaFor(0);
        ASSERT_TRUE(area.ok());
        auto whole =
            (*reference)
                ->compose(session.model(), session.model().excludedWindows(filter, 0), *area,
                          configuration.width, configuration.height, FrameComposer::Extent::whole);
        const PixelBuffer& made = **frame;
        if (previous && made.changes()) {
          EXPECT_EQ(made.changes()->sinceSerial, previousSerial);
          const Difference outside = differ(made, *previous, &made.changes()->areas);
          EXPECT_EQ(outside.count, 0u) << "first changed pixel outside the reported areas at "
                                       << outside.x << "," << outside.y;
          ++partial;
        }
        if (whole.ok() && !applyEvents()) {
          const Difference difference = differ(made, **whole);
          EXPECT_EQ(difference.count, 0u) << "first pixel unlike the whole composition at "
                                          << difference.x << "," << difference.y;
          compared = true;
        }
        for (const auto& [frameHeld, copy] : held) {
          EXPECT_EQ(differ(*frameHeld, copy).count, 0u) << "a frame changed under its holder";
        }
        previous = made;
        previousSerial = made.serial();
        held.emplace_back(*frame, made);
        while (held.size() > static_cast<std::size_t>(between(0, 3))) {
          held.erase(held.begin() + between(0, static_cast<int>(held.size()) - 1));
        }
      }
      if (HasFailure()) return;
      EXPECT_TRUE(compared) << "no quiet moment to compare in";
    }
    EXPECT_GE(partial, 5) << "too few frames were composed by changes";
    clients.clear();
    applyEvents();
  }
  XCloseDisplay(control);
}

// A window the frame leaves out changes nothing in it however much it draws, nor asks for a frame
// (Corvane's own window repaints with every frame it shows; counting that as change would compose,
// read back and present a frame again and again on a still desktop); what a window that is drawn
// paints is reported and asks for a frame.
TEST(DamageLimitedFrameChanges, DrawingOfALeftOutWindowIsNoChange) {
  CaptureDesktop desktop(false);
  ASSERT_NE(desktop.session, nullptr) << "no X server or capture session";
  XvfbServer& server = desktop.server;
  Display* display = desktop.connection->display();
  CaptureSession& session = *desktop.session;
  TestClient secret(
      server.name(),
      TestClientOptions{
          .windowClass = "Secret", .colour = kRed, .x = 10, .y = 10, .width = 160, .height = 120});
  TestClient open(server.name(), TestClientOptions{.windowClass = "Public",
                                                   .colour = kBlue,
                                                   .x = 190,
                                                   .y = 140,
                                                   .width = 150,
                                                   .height = 120});
  const ContentFilter filter = excluding({"Secret"});
  bool frameAskedFor = false;
  auto composed = [&]() -> SharedPixelBuffer {
    frameAskedFor = false;
    for (int attempt = 0; attempt < 20; ++attempt) {
      XSync(display, False);
      while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        frameAskedFor = session.handle(event) || frameAskedFor;
      }
      auto frame = session.compose(filter, StreamConfiguration{}, 0);
      if (frame.ok()) return *frame;
    }
    return nullptr;
  };
  // -1 when the frame does not say what changed.
  auto changedPixels = [](const PixelBuffer& frame) -> std::int64_t {
    if (!frame.changes()) return -1;
    std::int64_t pixels = 0;
    for (const auto& area : frame.changes()->areas)
      pixels += std::int64_t{area.width} * area.height;
    return pixels;
  };
  // Settled: both windows drew after they were named, and a frame since reports no change.
  ASSERT_TRUE(waitUntil([&] {
    const auto frame = composed();
    return !session.anyWindowAwaitingRepaint() && frame != nullptr && changedPixels(*frame) == 0;
  }));
  std::mt19937 random(20261207u);
  for (int turn = 0; turn < 8; ++turn) {
    SCOPED_TRACE("turn " + std::to_string(turn));
    const bool publicPaints = turn % 2 == 1;
    const Geometry paint{static_cast<int>(random() % 60), static_cast<int>(random() % 40), 40, 30};
    (publicPaints ? open : secret)
        .command("paint " + geometryText(paint) + " " + colourText(random() & 0xFFFFFF));
    const auto frame = composed();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frameAskedFor, publicPaints);
    if (publicPaints) {
      EXPECT_GE(changedPixels(*frame), 40 * 30);
    } else {
      EXPECT_EQ(changedPixels(*frame), 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ScalingAndWindowManagers, DamageLimitedFrames,
                         ::testing::Combine(::testing::Values(false, true),
                                            ::testing::Values(false, true)),
                         [](const ::testing::TestParamInfo<std::tuple<bool, bool>>& info) {
                           return std::string(std::get<0>(info.param) ? "Scaled" : "ActualSize") +
                                  (std::get<1>(info.param) ? "Openbox" : "NoWM");
                         });

}  // namespace
}  // namespace corvane::platform::x11::testing
