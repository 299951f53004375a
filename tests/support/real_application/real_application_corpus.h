#pragma once

// Screens rendered by real applications on private X servers at the time they are needed, none
// of them stored: terminals (xterm and urxvt) alone with bitmap and TrueType fonts, light and
// dark; a browser's pages at 100 and 125 % zoom, light and dark; and whole 1920×1080 desktops
// under three window managers with two or three terminals in their frames. Every screen's truth
// comes from the application that drew it; the content is seeded, so the same screens come back.
// A seed offset gives the same looks with other content: one set of seeds to look into misses
// with, another (offset 0) to judge on.

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "support/real_application/browser_page.h"
#include "support/real_application/terminal_window.h"
#include "support/temporary_folder.h"

namespace corvane::testing::real_application {

struct RealApplicationCorpus {
  std::vector<RealApplicationScreen> screens;
  int unseenLines = 0;    // planted lines of which the application drew no ink
  int failedScreens = 0;  // screens an application did not render
  double renderSeconds = 0;
};

// The terminal looks the corpus uses, alone and on desktops.
inline std::vector<TerminalLook> terminalLooks() {
  return {
      {"xterm", "6x10", 0, 10, false},
      {"xterm", "6x12", 0, 12, true},
      {"xterm", "6x13", 0, 13, false},
      {"xterm", "7x13", 0, 13, true},
      {"xterm", "7x14", 0, 14, false},
      {"xterm", "9x15", 0, 15, true},
      {"xterm", "DejaVu Sans Mono", 9, 12, true},
      {"xterm", "DejaVu Sans Mono", 10, 13, false},
      {"xterm", "DejaVu Sans Mono", 11, 15, true},
      {"xterm", "Liberation Mono", 9, 12, false},
      {"xterm", "Liberation Mono", 10, 13, true},
      {"xterm", "Liberation Mono", 11, 15, false},
      {"urxvt", "6x12", 0, 12, false},
      {"urxvt", "7x13", 0, 13, true},
      {"urxvt", "8x13", 0, 13, false},
      {"urxvt", "9x15", 0, 15, true},
      {"urxvt", "DejaVu Sans Mono", 9, 12, false},
      {"urxvt", "DejaVu Sans Mono", 11, 15, true},
      {"urxvt", "Liberation Mono", 10, 13, false},
      {"urxvt", "Liberation Mono", 9, 12, true},
  };
}

namespace corpus_detail {

constexpr int kTerminalColumns = 84;

// A terminal of `look` at (x, y), about `width` × `height` pixels, with a seeded session.
inline std::unique_ptr<TerminalWindow> startTerminal(const std::string& display,
                                                     const std::filesystem::path& folder,
                                                     const TerminalLook& look, std::uint32_t seed,
                                                     const std::string& title, int x, int y,
                                                     int height) {
  PlantedTextMaker maker(seed);
  const int rows = std::max(6, height / look.approximateCellHeight());
  return std::make_unique<TerminalWindow>(display, folder, look, terminalSession(maker, rows),
                                          title, x, y, kTerminalColumns, rows);
}

// A screen's image covered by one window: an application filling the screen.
inline void oneWindow(RealApplicationScreen& screen) {
  const int width = screen.screen.image->width(), height = screen.screen.image->height();
  screen.screen.image->setWindowAreas({{{0, 0, width, height}}});
  screen.screen.windows = {platform::Rect{{0, 0}, {double(width), double(height)}}};
}

// A terminal of `look` alone at the top left of a server, about `height` pixels tall, its own
// window captured; nothing when it did not show its lines or its window is not a whole grid of
// cells.
inline std::optional<RealApplicationScreen> terminalScreen(
    Display* display, const std::string& server, const std::filesystem::path& folder,
    const TerminalLook& look, std::uint32_t seed, int& unseen, int height = 760) {
  auto terminal = startTerminal(server, folder, look, seed, "ledger", 0, 0, height);
  if (!terminal->waitShown(display)) return std::nullopt;
  RealApplicationScreen made;
  made.screen.label = look.label();
  const auto bounds = terminal->bounds(display);
  made.screen.image = grabSettled(display, bounds);
  if (!made.screen.image) return std::nullopt;
  terminal->plant(display, made, bounds.origin, {}, unseen);
  oneWindow(made);
  return made;
}

// Each terminal look alone on a 1280×800 server.
inline void terminalScreens(const std::filesystem::path& folder, std::uint32_t seedOffset,
                            RealApplicationCorpus& corpus) {
  const auto looks = terminalLooks();
  XvfbServer server(1280, 800, {"-dpi", "96"});
  Display* display = server.ok() ? XOpenDisplay(server.name().c_str()) : nullptr;
  if (!display) {
    corpus.failedScreens += static_cast<int>(looks.size());
    return;
  }
  for (std::size_t i = 0; i < looks.size(); ++i) {
    auto made =
        terminalScreen(display, server.name(), folder, looks[i],
                       seedOffset + static_cast<std::uint32_t>(7100 + i), corpus.unseenLines);
    if (made)
      corpus.screens.push_back(std::move(*made));
    else
      ++corpus.failedScreens;
  }
  XCloseDisplay(display);
}

// Adds the lines of the terminals on a whole desktop (its image at the root's origin) to `made`,
// with their looks in its label; `windows` are the top-level windows, bottom to top, and what lies
// above a terminal's frame (the top-level window holding it) hides its lines.
inline void plantTerminals(Display* display,
                           const std::vector<std::unique_ptr<TerminalWindow>>& terminals,
                           const std::vector<platform::WindowPlacement>& windows,
                           RealApplicationScreen& made, int& unseen) {
  for (const auto& terminal : terminals) {
    const auto inside = terminal->bounds(display);
    std::size_t frame = 0;
    for (std::size_t w = 0; w < windows.size(); ++w) {
      if (windows[w].bounds.intersection(inside) == inside) frame = w;
    }
    std::vector<platform::Rect> above;
    for (std::size_t w = frame + 1; w < windows.size(); ++w) above.push_back(windows[w].bounds);
    made.screen.label += ", " + terminal->look().label();
    terminal->plant(display, made, {0, 0}, above, unseen);
  }
}

// Renders groups of screens at once, each into a corpus of its own, and joins them in order, with
// the time it all took since `start`.
inline RealApplicationCorpus renderedInGroups(
    const std::vector<std::function<void(RealApplicationCorpus&)>>& groups,
    std::chrono::steady_clock::time_point start) {
  std::vector<RealApplicationCorpus> parts(groups.size());
  std::vector<std::future<void>> running;
  for (std::size_t g = 0; g < groups.size(); ++g)
    running.push_back(std::async(std::launch::async, [&, g] { groups[g](parts[g]); }));
  for (auto& group : running) group.get();
  RealApplicationCorpus corpus;
  for (auto& part : parts) {
    for (auto& screen : part.screens) corpus.screens.push_back(std::move(screen));
    corpus.unseenLines += part.unseenLines;
    corpus.failedScreens += part.failedScreens;
  }
  corpus.renderSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return corpus;
}

// Adds a desktop to `corpus` once the windows started for it have closed (no more top-level
// windows than `alreadyShown` are left), with `windows` (bottom to top) top first: a mask belongs
// to the uppermost window that holds its centre. A desktop without an image counts as failed.
inline void addDesktop(Display* display, std::size_t alreadyShown,
                       const std::vector<platform::WindowPlacement>& windows,
                       RealApplicationScreen made, RealApplicationCorpus& corpus) {
  waitUntil([&] { return topLevelWindows(display).size() <= alreadyShown; }, 10.0);
  if (!made.screen.image) {
    ++corpus.failedScreens;
    return;
  }
  for (auto window = windows.rbegin(); window != windows.rend(); ++window)
    made.screen.windows.push_back(window->bounds);
  corpus.screens.push_back(std::move(made));
}

struct WindowManager {
  std::vector<std::string> command;
  std::vector<std::string> environment;
};

// `server` under `manager`, opened; null when the server or the manager did not start.
inline Display* openManaged(XvfbServer& server, const WindowManager& manager) {
  const bool managed =
      server.ok() && server.startWindowManager(manager.command, manager.environment);
  return managed ? XOpenDisplay(server.name().c_str()) : nullptr;
}

// Openbox, fluxbox and icewm with their default settings. Fluxbox is given a wallpaper setter
// that does nothing: without one it puts up a message window about it at a moment of its own.
inline std::vector<WindowManager> windowManagers(const std::filesystem::path& folder) {
  const auto tools = folder / "wallpaper-setter";
  std::filesystem::create_directories(tools);
  std::ofstream(tools / "fbsetbg") << "#!/bin/sh\nexit 0\n";
  std::filesystem::permissions(tools / "fbsetbg", std::filesystem::perms::owner_all);
  const char* path = std::getenv("PATH");
  return {{{"openbox", "--sm-disable"}, {}},
          {{"fluxbox"}, {"PATH=" + tools.string() + ":" + (path ? path : "/usr/bin:/bin")}},
          {{"icewm"}, {}}};
}

// Four desktops under one window manager: two or three terminals (one of them partly under
// another on the last), their title bars in the manager's frames.
inline void desktopScreens(const std::filesystem::path& folder, const WindowManager& manager,
                           int managerIndex, std::uint32_t seedOffset,
                           RealApplicationCorpus& corpus) {
  constexpr int kDesktops = 4;
  XvfbServer server(1920, 1080, {"-dpi", "96"});
  Display* display = corpus_detail::openManaged(server, manager);
  if (!display) {
    corpus.failedScreens += kDesktops;
    return;
  }
  const auto looks = terminalLooks();
  const std::size_t alreadyShown = topLevelWindows(display).size();
  struct Place {
    int x, y, height;
  };
  static const std::vector<std::vector<Place>> layouts = {
      {{24, 40, 900}, {1000, 40, 420}, {1000, 560, 380}},
      {{24, 40, 900}, {1000, 40, 900}},
      {{60, 80, 820}, {1010, 60, 400}, {1010, 560, 360}},
      {{24, 40, 900}, {560, 300, 560}},
  };
  static const char* const titles[] = {"dana@build-07: ~/ledger", "vim deploy/.env",
                                       "ssh ops@bastion", "tail -f logs/app.log"};
  for (int desktop = 0; desktop < kDesktops; ++desktop) {
    const auto& places = layouts[static_cast<std::size_t>(desktop)];
    // One after another, each shown before the next starts, so that they stack in that order.
    std::vector<std::unique_ptr<TerminalWindow>> terminals;
    bool shown = true;
    for (std::size_t w = 0; w < places.size() && shown; ++w) {
      const std::size_t n = static_cast<std::size_t>(managerIndex * 7 + desktop * 3) + w * 5;
      const auto& look = looks[n % looks.size()];
      terminals.push_back(startTerminal(
          server.name(), folder, look,
          seedOffset +
              static_cast<std::uint32_t>(9000 + managerIndex * 100 + desktop * 10 + int(w)),
          titles[(desktop + w) % std::size(titles)], places[w].x, places[w].y, places[w].height));
      shown = terminals.back()->waitShown(display);
    }
    RealApplicationScreen made;
    made.desktop = true;
    made.screen.label = manager.command.front() + " desktop";
    const platform::Rect root{{0, 0}, {1920, 1080}};
    if (shown) made.screen.image = grabSettled(display, root);
    const auto windows = topLevelWindows(display);
    if (made.screen.image) {
      plantTerminals(display, terminals, windows, made, corpus.unseenLines);
      made.screen.image->setWindowAreas(windowAreasWithin(windows, root));
    }
    terminals.clear();
    addDesktop(display, alreadyShown, windows, std::move(made), corpus);
  }
  XCloseDisplay(display);
}

// Sixteen pages: each layout at 100 and 125 %, light and dark, in fonts and sizes of its own;
// four browsers at a time.
inline void browserScreens(const std::filesystem::path& folder, std::uint32_t seedOffset,
                           RealApplicationCorpus& corpus) {
  static const char* const fonts[] = {"DejaVu Sans", "Liberation Sans", "Noto Sans",
                                      "Liberation Serif"};
  static const int sizes[] = {11, 12, 13, 14, 16};
  std::vector<PageLook> looks;
  for (int layout = 0; layout < 4; ++layout) {
    for (int variant = 0; variant < 4; ++variant) {
      const std::size_t n = static_cast<std::size_t>(layout * 4 + variant);
      looks.push_back({static_cast<PageLayout>(layout), variant % 2 ? 1.25 : 1.0, variant >= 2,
                       fonts[(n + static_cast<std::size_t>(layout)) % std::size(fonts)],
                       sizes[n % std::size(sizes)]});
    }
  }
  for (std::size_t first = 0; first < looks.size(); first += 4) {
    std::vector<std::future<RealApplicationScreen>> pages;
    std::vector<int> unseen(4, 0);
    for (std::size_t i = first; i < first + 4 && i < looks.size(); ++i) {
      pages.push_back(std::async(std::launch::async, [&, i] {
        return renderPage(folder, looks[i], seedOffset + static_cast<std::uint32_t>(8100 + i),
                          unseen[i - first]);
      }));
    }
    for (auto& page : pages) {
      auto made = page.get();
      if (!made.screen.image) {
        ++corpus.failedScreens;
        continue;
      }
      corpus.screens.push_back(std::move(made));
    }
    for (int count : unseen) corpus.unseenLines += count;
  }
}

}  // namespace corpus_detail

// Renders the whole corpus: terminals, desktops under openbox, fluxbox and icewm, and pages,
// the groups at once on servers of their own; `seedOffset` shifts every content seed.
inline RealApplicationCorpus renderRealApplicationCorpus(std::uint32_t seedOffset = 0) {
  using namespace corpus_detail;
  XInitThreads();  // before any other Xlib call of the process, the groups' threads included
  const IgnoringXErrors ignoring;
  const auto start = std::chrono::steady_clock::now();
  TemporaryFolder folder("corvane-real-screens");
  const auto managers = windowManagers(folder.path());
  std::vector<std::function<void(RealApplicationCorpus&)>> groups{
      [&](RealApplicationCorpus& part) { terminalScreens(folder.path(), seedOffset, part); },
      [&](RealApplicationCorpus& part) { browserScreens(folder.path(), seedOffset, part); }};
  for (std::size_t m = 0; m < managers.size(); ++m) {
    groups.push_back([&, m](RealApplicationCorpus& part) {
      desktopScreens(folder.path(), managers[m], static_cast<int>(m), seedOffset, part);
    });
  }
  return renderedInGroups(groups, start);
}

// Writes each screen as <folder>/<n>.png with its truth drawn on it (secrets red, plain lines
// green, near-misses blue), to see what the corpus holds.
inline void writeScreens(const RealApplicationCorpus& corpus, const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  for (std::size_t n = 0; n < corpus.screens.size(); ++n) {
    const auto& screen = corpus.screens[n];
    platform::PixelBuffer copy = *screen.screen.image;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        copy.mutableData(), CAIRO_FORMAT_ARGB32, copy.width(), copy.height(), copy.bytesPerRow());
    cairo_t* cr = cairo_create(surface);
    cairo_set_line_width(cr, 1);
    auto outline = [cr](const platform::Rect& box, double r, double g, double b) {
      cairo_set_source_rgb(cr, r, g, b);
      cairo_rectangle(cr, box.minX() - 0.5, box.minY() - 0.5, box.width() + 1, box.height() + 1);
      cairo_stroke(cr);
    };
    for (const auto& line : screen.screen.lines) {
      if (line.secret)
        outline(line.secretBox, 0.9, 0.1, 0.1);
      else
        outline(line.textBox, 0.1, 0.7, 0.2);
    }
    for (const auto& line : screen.nearMisses) outline(line.textBox, 0.1, 0.3, 0.9);
    cairo_destroy(cr);
    cairo_surface_write_to_png(surface, (folder / (std::to_string(n) + ".png")).c_str());
    cairo_surface_destroy(surface);
  }
}

}  // namespace corvane::testing::real_application
