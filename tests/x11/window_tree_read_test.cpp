#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/x11/client_windows.h"
#include "platform/x11/window_model.h"
#include "platform/x11/x_connection.h"
#include "platform/x11/x_properties.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

// What the model knows of a top-level window once it has read it, less the server resources.
struct Reading {
  Window client = None;
  XID clientOwner = 0;
  int x = 0, y = 0, width = 0, height = 0, borderWidth = 0;
  bool mapped = false, overrideRedirect = false, inputOnly = false, hasAlpha = false;
  Visual* visual = nullptr;
  bool shaped = false;
  bool hasClass = false;
  ApplicationIdentity identity;
  Window transientFor = None;
  bool isDesktopWindow = false;
  int desktop = -1;
  std::string title;
  std::vector<Window> shownInside;
  std::vector<std::tuple<Window, XID, int, int, int, int, bool, ApplicationIdentity>> embedded;
  bool operator==(const Reading&) const = default;
};

Reading readingOf(const TrackedWindow& window) {
  Reading reading{window.client,
                  window.clientOwner,
                  window.x,
                  window.y,
                  window.width,
                  window.height,
                  window.borderWidth,
                  window.mapped,
                  window.overrideRedirect,
                  window.inputOnly,
                  window.hasAlpha,
                  window.visual,
                  window.boundingShape != None,
                  window.hasClass,
                  window.identity,
                  window.transientFor,
                  window.isDesktopWindow,
                  window.desktop,
                  window.title,
                  window.shownInside,
                  {}};
  for (const auto& inside : window.embedded) {
    reading.embedded.emplace_back(inside.id, inside.owner, inside.x, inside.y, inside.width,
                                  inside.height, inside.hasClass, inside.identity);
  }
  return reading;
}

std::string describe(const Reading& reading) {
  std::ostringstream out;
  out << "client " << reading.client << " owner " << reading.clientOwner << " at " << reading.x
      << "," << reading.y << " " << reading.width << "x" << reading.height << " shaped "
      << reading.shaped << " mapped " << reading.mapped << " class " << reading.hasClass << " id '"
      << reading.identity.id << "' pid " << reading.identity.processID << " names "
      << reading.identity.ownIds.size() << "+" << reading.identity.windowClassNames.size()
      << " transient " << reading.transientFor << " title '" << reading.title << "' inside "
      << reading.shownInside.size() << " embedded " << reading.embedded.size();
  for (const auto& inside : reading.embedded) {
    out << " [" << std::get<0>(inside) << " of " << std::get<1>(inside) << " '"
        << std::get<7>(inside).id << "' pid " << std::get<7>(inside).processID << "]";
  }
  return out.str();
}

std::vector<Window> rootChildren(Display* display) {
  Window root = None, parent = None, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
    return {};
  std::vector<Window> list(children, children + count);
  if (children != nullptr) XFree(children);
  return list;
}

// Another X client making trees of windows and destroying them as fast as the server lets it,
// so that windows go away while a capture reads the tree.
class Churn {
 public:
  Churn(const std::string& displayName, unsigned seed)
      : display_(XOpenDisplay(displayName.c_str())), thread_([this, seed] { run(seed); }) {}
  ~Churn() { stop(); }

  // Destroys what is left and returns every window it made.
  std::set<Window> stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (display_ != nullptr) XCloseDisplay(display_);
    display_ = nullptr;
    return made_;
  }
  int rounds() const { return rounds_; }

 private:
  void run(unsigned seed) {
    if (display_ == nullptr) return;
    std::mt19937 random(seed);
    const Window root = DefaultRootWindow(display_);
    std::deque<Window> alive;
    while (!stopping_) {
      const Window top =
          XCreateSimpleWindow(display_, root, int(random() % 200), int(random() % 150),
                              60 + random() % 80, 40 + random() % 60, 0, 0, 0x336699);
      XClassHint hint{const_cast<char*>("churn"), const_cast<char*>("Churn")};
      XSetClassHint(display_, top, &hint);
      made_.insert(top);
      Window parent = top;
      for (int depth = int(random() % 4); depth > 0; --depth) {
        parent = XCreateSimpleWindow(display_, parent, 2, 2, 30, 20, 0, 0, 0x993366);
        made_.insert(parent);
      }
      XMapSubwindows(display_, top);
      XMapWindow(display_, top);
      alive.push_back(top);
      while (alive.size() > 1 + random() % 3) {
        XDestroyWindow(display_, alive.front());
        alive.pop_front();
      }
      XSync(display_, False);
      ++rounds_;
    }
    for (Window window : alive) XDestroyWindow(display_, window);
    XSync(display_, False);
  }

  Display* display_;
  std::set<Window> made_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> rounds_{0};
  std::thread thread_;
};

// A model on a connection of its own.
struct LoadedModel {
  std::unique_ptr<XConnection> connection;
  std::unique_ptr<Atoms> atoms;
  std::unique_ptr<WindowModel> model;
  std::map<Window, Reading> atLoad;
  int shapeEventBase = -1;
};

LoadedModel loadModel(const std::string& displayName,
                      std::shared_ptr<const ApplicationIdentityResolver> identities) {
  LoadedModel loaded;
  auto connection = XConnection::open(displayName);
  if (!connection) return loaded;
  loaded.connection = std::move(connection).value();
  Display* display = loaded.connection->display();
  int damageEventBase = 0, errorBase = 0, shapeEventBase = -1;
  XDamageQueryExtension(display, &damageEventBase, &errorBase);
  if (!XShapeQueryExtension(display, &shapeEventBase, &errorBase)) shapeEventBase = -1;
  loaded.shapeEventBase = shapeEventBase;
  loaded.atoms = std::make_unique<Atoms>(display);
  loaded.model = std::make_unique<WindowModel>(display, *loaded.atoms, damageEventBase,
                                               shapeEventBase, std::move(identities));
  if (!loaded.model->load().ok()) loaded.model.reset();
  if (loaded.model) {
    for (const TrackedWindow* window : loaded.model->stacking()) {
      loaded.atLoad[window->id] = readingOf(*window);
    }
  }
  return loaded;
}

// Applies what the server reported since the load.
void catchUp(LoadedModel& loaded) {
  Display* display = loaded.connection->display();
  XSync(display, False);
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    loaded.model->handle(event);
  }
  loaded.model->settle();
}

// Reads `top` again the way a window changed by events is read: one question at a time.
Reading readAgain(LoadedModel& loaded, Window top) {
  XEvent changed{};
  changed.type = PropertyNotify;
  changed.xproperty.window = top;
  changed.xproperty.atom = loaded.atoms->wmClass;
  changed.xproperty.state = PropertyNewValue;
  loaded.model->handle(changed);
  XEvent reshaped{};
  reshaped.type = loaded.shapeEventBase + ShapeNotify;
  reinterpret_cast<XShapeEvent&>(reshaped).window = top;
  reinterpret_cast<XShapeEvent&>(reshaped).kind = ShapeBounding;
  if (loaded.shapeEventBase >= 0) loaded.model->handle(reshaped);
  loaded.model->settle();
  const TrackedWindow* window = loaded.model->find(top);
  return window ? readingOf(*window) : Reading{};
}

auto listingOf(const ClientWindow& window) {
  return std::tuple(window.topLevel, window.identity, window.title, window.x, window.y,
                    window.width, window.height, window.viewable, window.hidden,
                    window.isDesktopWindow, window.desktop, window.acceptsDelete);
}

bool isGone(Display* display, Window window) {
  ErrorTrap trap(display);
  XWindowAttributes attributes;
  return !XGetWindowAttributes(display, window, &attributes) || trap.failed();
}

class WindowTreeReadTest : public ::testing::TestWithParam<bool> {};

// The tree read at the start of a capture, all windows at once, names every window exactly as
// reading each window on its own does, and so does the window list the filter is built from:
// several clients, windows nested inside their own and inside other clients' windows, dialogs and
// popups, while yet another client makes and destroys trees of windows throughout. Whatever went
// away during a read is skipped, never tracked once the events about it are in.
TEST_P(WindowTreeReadTest, ReadingAllWindowsAtOnceNamesEachAsReadingItAloneDoes) {
  const bool withWindowManager = GetParam();
  XvfbServer server(640, 480);
  ASSERT_TRUE(server.ok());
  if (withWindowManager) ASSERT_TRUE(server.startWindowManager());
  std::unique_ptr<Display, decltype(&XCloseDisplay)> checking(XOpenDisplay(server.name().c_str()),
                                                              &XCloseDisplay);
  ASSERT_NE(checking, nullptr);
  Display* display = checking.get();
  const Atom wmState = XInternAtom(display, "WM_STATE", False);

  const unsigned firstSeed = std::random_device{}();
  for (unsigned seed = firstSeed; seed < firstSeed + 3; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::vector<std::unique_ptr<TestClient>> clients;
    std::vector<unsigned long> managed;  // windows a window manager takes in
    std::vector<unsigned long> hosts;    // windows another client's window may go into
    const int clientCount = 2 + int(random() % 4);
    for (int i = 0; i < clientCount; ++i) {
      TestClientOptions options;
      options.windowClass = "Named" + std::to_string(i);
      options.x = int(random() % 400);
      options.y = int(random() % 300);
      options.width = 120 + int(random() % 100);
      options.height = 90 + int(random() % 80);
      options.shaped = random() % 3 == 0;
      clients.push_back(std::make_unique<TestClient>(server.name(), options));
      ASSERT_NE(clients.back()->window(), 0u);
      managed.push_back(clients.back()->window());
      hosts.push_back(clients.back()->window());
    }
    for (int step = int(random() % 13); step > 0; --step) {
      TestClient& client = *clients[random() % clients.size()];
      const std::string box = std::to_string(20 + random() % 40) + "x" +
                              std::to_string(20 + random() % 40) + "+" +
                              std::to_string(random() % 60) + "+" + std::to_string(random() % 50);
      switch (random() % 4) {
        case 0:
          hosts.push_back(client.command("child " + box + " 00FF00"));
          break;
        case 1:  // inside any window so far, nesting as deep as the draw makes it
          hosts.push_back(client.command("embed " + std::to_string(hosts[random() % hosts.size()]) +
                                         " " + box + " 0000FF"));
          break;
        case 2:
          managed.push_back(client.command("dialog " + box + " FFFF00"));
          break;
        default:
          client.command("popup " + box + " FF00FF");
          break;
      }
    }
    if (withWindowManager) {
      ASSERT_TRUE(waitUntil([&] {
        return std::all_of(managed.begin(), managed.end(), [&](unsigned long window) {
          return hasProperty(display, window, wmState);
        });
      }));
    }
    XSync(display, False);
    const auto settled = rootChildren(display);

    // Each identity in this test is the same whatever order windows are named in: the
    // resolver has met every process's names before the reads compared.
    auto identities = plainIdentities();
    ASSERT_NE(loadModel(server.name(), identities).model, nullptr);
    Churn churn(server.name(), seed);
    ASSERT_TRUE(waitUntil([&] { return churn.rounds() > 3; }));
    std::vector<LoadedModel> models;
    for (int i = 0; i < 3; ++i) {
      models.push_back(loadModel(server.name(), identities));
      ASSERT_NE(models.back().model, nullptr);
    }
    const Atoms atoms(display);
    const auto listed = listClientWindows(display, atoms, *identities);
    const auto churned = churn.stop();
    ASSERT_TRUE(waitUntil([&] { return rootChildren(display) == settled; }));

    // The window list for the filter, read all at once, says what each window says alone.
    for (const auto& client : clients) {
      EXPECT_TRUE(
          std::any_of(listed.begin(), listed.end(),
                      [&](const ClientWindow& window) { return window.id == client->window(); }))
          << client->window() << " is not listed";
    }
    for (const ClientWindow& window : listed) {
      if (churned.count(window.id) != 0 || isGone(display, window.id)) continue;
      LiveWindowFacts alone(display);
      ClientWindow described;
      ASSERT_TRUE(describeClientWindow(alone, atoms, *identities, DefaultRootWindow(display),
                                       window.id, described));
      EXPECT_EQ(listingOf(window), listingOf(described)) << "window " << window.id;
      int x = 0, y = 0;
      Window child = None;
      XTranslateCoordinates(display, window.id, DefaultRootWindow(display), 0, 0, &x, &y, &child);
      EXPECT_EQ(std::pair(window.x, window.y), std::pair(x, y)) << "window " << window.id;
      EXPECT_EQ(window.topLevel, topLevelWindow(display, window.id)) << "window " << window.id;
    }

    for (auto& loaded : models) {
      catchUp(loaded);
      for (const TrackedWindow* window : loaded.model->stacking()) {
        EXPECT_FALSE(isGone(display, window->id)) << window->id << " is gone but tracked";
        EXPECT_EQ(churned.count(window->client), 0u);
        for (Window inside : window->shownInside) {
          EXPECT_EQ(churned.count(inside), 0u) << inside << " was destroyed";
        }
      }
      for (Window top : settled) {
        auto read = loaded.atLoad.find(top);
        ASSERT_NE(read, loaded.atLoad.end()) << top << " was not read";
        const Reading alone = readAgain(loaded, top);
        EXPECT_EQ(read->second, alone)
            << "window " << top << "\n  all at once: " << describe(read->second)
            << "\n  on its own:  " << describe(alone);
      }
    }
  }
}

std::string nameOf(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "Openbox" : "NoWM";
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, WindowTreeReadTest, ::testing::Values(false, true),
                         nameOf);

}  // namespace
}  // namespace corvane::platform::x11::testing
