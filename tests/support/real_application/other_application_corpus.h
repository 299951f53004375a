#pragma once

// Screens of applications, fonts and window managers that neither the screen corpus nor the
// real-application corpus holds, rendered at the time they are needed and never stored: st and
// xfce4-terminal (VTE) in Hack, Fira Code, Inconsolata and JetBrains Mono, light and dark; Geany
// showing configuration files; and whole 1920×1080 desktops under xfwm4 and marco with terminals
// of both kinds side by side, dark beside light, on a coloured root. The desktops carry no window
// areas: they are read as a capture without its window list hands them over. Truth comes from the
// applications (st's cell grid; the drawings of the others, drawn_lines.h).
//
// Two splits with their own looks and content: `tuning`, to look into misses with, and
// `judging`, on which figures are judged and which is not looked into.

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "support/real_application/real_application_corpus.h"
#include "support/real_application/scripted_terminal.h"
#include "support/real_application/text_editor.h"

namespace corvane::testing::real_application {

enum class CorpusSplit { judging, tuning };

namespace other_detail {

struct Looks {
  std::vector<TerminalLook> st;
  std::vector<ScriptedTerminalLook> vte;
  std::vector<EditorLook> editors;
  std::vector<std::uint32_t> wallpapers;  // root colours of the desktops, 0xRRGGBB
  std::uint32_t seedOffset = 0;
};

inline Looks looksOf(CorpusSplit split) {
  if (split == CorpusSplit::tuning) {
    return {{{"st", "Hack", 0, 14, false},
             {"st", "Fira Code", 0, 12, true},
             {"st", "Inconsolata", 0, 13, false},
             {"st", "JetBrains Mono", 0, 15, true},
             {"st", "Fira Code", 0, 11, false}},
            {{"Fira Code", 10, false}, {"Hack", 11, true}, {"Inconsolata", 10, true}},
            {{"Hack", 12}, {"Inconsolata", 10}, {"JetBrains Mono", 11}, {"Fira Code", 9}},
            {0x44596e, 0xc9ccc4, 0x23302a},
            50000};
  }
  return {{{"st", "Hack", 0, 13, true},
           {"st", "Fira Code", 0, 15, false},
           {"st", "Inconsolata", 0, 16, true},
           {"st", "JetBrains Mono", 0, 12, false},
           {"st", "Hack", 0, 11, false}},
          {{"JetBrains Mono", 10, true}, {"Inconsolata", 12, false}, {"Hack", 9, false}},
          {{"Fira Code", 11}, {"JetBrains Mono", 9}, {"Inconsolata", 12}, {"Hack", 10}},
          {0x3a506b, 0xd8d8d0, 0x1e2b24},
          0};
}

// Each st look alone on a 1280×800 server.
inline void stScreens(const std::filesystem::path& folder, const Looks& looks,
                      RealApplicationCorpus& corpus) {
  XvfbServer server(1280, 800, {"-dpi", "96"});
  Display* display = server.ok() ? XOpenDisplay(server.name().c_str()) : nullptr;
  if (!display) {
    corpus.failedScreens += static_cast<int>(looks.st.size());
    return;
  }
  for (std::size_t i = 0; i < looks.st.size(); ++i) {
    auto made = corpus_detail::terminalScreen(display, server.name(), folder, looks.st[i],
                                              looks.seedOffset + 6100 + std::uint32_t(i),
                                              corpus.unseenLines, 700);
    if (made)
      corpus.screens.push_back(std::move(*made));
    else
      ++corpus.failedScreens;
  }
  XCloseDisplay(display);
}

// A VTE terminal of `lines` at (x, y) on `display`, planted into `screen` (whose image starts at
// the root's origin); false when it did not show or its drawings did not give its lines.
inline bool plantVte(Display* display, ScriptedTerminal& terminal, RealApplicationScreen& screen,
                     int& unseen) {
  const auto bounds = terminal.bounds(display);
  return plantDrawnLines(screen, terminal.lines(), terminal.draw(display), bounds.origin,
                         terminal.look().pixelSize(), unseen);
}

// The terminal alone, its own window captured; nothing when it did not show or its drawings
// did not give its lines.
inline std::optional<RealApplicationScreen> scriptedTerminalScreen(Display* display,
                                                                   ScriptedTerminal& terminal,
                                                                   int& unseen) {
  if (!terminal.waitShown(display)) return std::nullopt;
  RealApplicationScreen made;
  made.screen.label = terminal.look().label();
  made.screen.image = grabSettled(display, terminal.bounds(display));
  // The screen is the terminal's window, and so are its drawings.
  if (!made.screen.image || !plantDrawnLines(made, terminal.lines(), terminal.draw(display), {0, 0},
                                             terminal.look().pixelSize(), unseen))
    return std::nullopt;
  corpus_detail::oneWindow(made);
  return made;
}

// Each scripted terminal look alone on a 1280×800 server, its own window captured.
inline void vteScreens(const std::filesystem::path& folder, const Looks& looks,
                       RealApplicationCorpus& corpus) {
  XvfbServer server(1280, 800, {"-dpi", "96"});
  Display* display = server.ok() ? XOpenDisplay(server.name().c_str()) : nullptr;
  if (!display) {
    corpus.failedScreens += static_cast<int>(looks.vte.size());
    return;
  }
  for (std::size_t i = 0; i < looks.vte.size(); ++i) {
    const ScriptedTerminalLook& look = looks.vte[i];
    PlantedTextMaker maker(looks.seedOffset + 6200 + std::uint32_t(i));
    ScriptedTerminal terminal(server.name(), folder, look,
                              terminalSession(maker, 700 / (look.pixelSize() * 3 / 2)), "ledger", 0,
                              0, 90);
    auto made = scriptedTerminalScreen(display, terminal, corpus.unseenLines);
    if (made)
      corpus.screens.push_back(std::move(*made));
    else
      ++corpus.failedScreens;
  }
  XCloseDisplay(display);
}

// Each editor look alone on a 1280×800 server without a window manager.
inline void editorScreens(const std::filesystem::path& folder, const Looks& looks,
                          RealApplicationCorpus& corpus) {
  constexpr int kWidth = 1280, kHeight = 800;
  XvfbServer server(kWidth, kHeight, {"-dpi", "96"});
  Display* display = server.ok() ? XOpenDisplay(server.name().c_str()) : nullptr;
  if (!display) {
    corpus.failedScreens += static_cast<int>(looks.editors.size());
    return;
  }
  for (std::size_t i = 0; i < looks.editors.size(); ++i) {
    const EditorLook& look = looks.editors[i];
    PlantedTextMaker maker(looks.seedOffset + 6300 + std::uint32_t(i));
    const auto lines = configFileLines(maker, 520 / (look.pixelSize() * 3 / 2));
    const Drawings drawings = drawEditor(display, server.name(), folder, look, lines, kWidth,
                                         kHeight, look.program + "-" + std::to_string(i));
    RealApplicationScreen made;
    made.screen.label = look.label();
    made.screen.image = drawings.lines;
    if (!made.screen.image ||
        !plantDrawnLines(made, lines, drawings, {0, 0}, look.pixelSize(), corpus.unseenLines)) {
      ++corpus.failedScreens;
      continue;
    }
    corpus_detail::oneWindow(made);
    corpus.screens.push_back(std::move(made));
  }
  XCloseDisplay(display);
}

// Xfwm4 (its settings service on a bus of its own) and marco (settings kept in memory).
inline std::vector<corpus_detail::WindowManager> otherWindowManagers() {
  return {{{"dbus-run-session", "--", "xfwm4", "--compositor=off"}, {}},
          {{"marco", "--no-composite"}, {"GSETTINGS_BACKEND=memory"}}};
}

// Paints the root in `colour` (0xRRGGBB): a desktop's plain wallpaper.
inline void paintRoot(Display* display, std::uint32_t colour) {
  const Window root = DefaultRootWindow(display);
  XSetWindowBackground(display, root, colour);
  XClearWindow(display, root);
  XSync(display, False);
}

// Three desktops under one window manager: an st terminal dark and one light (the second partly
// over the first on one desktop) and a VTE terminal, read as a whole without window areas.
inline void desktopScreens(const std::filesystem::path& folder,
                           const corpus_detail::WindowManager& manager, int managerIndex,
                           const Looks& looks, RealApplicationCorpus& corpus) {
  constexpr int kDesktops = 3;
  XvfbServer server(1920, 1080, {"-dpi", "96"});
  Display* display = corpus_detail::openManaged(server, manager);
  if (!display) {
    corpus.failedScreens += kDesktops;
    return;
  }
  const std::size_t alreadyShown = topLevelWindows(display).size();
  struct Place {
    int x, y, height;
  };
  // The st terminals' places, then the VTE terminal's, which nothing covers.
  static const std::vector<std::vector<Place>> layouts = {
      {{24, 40, 880}, {1000, 40, 420}, {1000, 560, 380}},
      {{1000, 60, 420}, {1040, 420, 560}, {30, 50, 760}},
      {{60, 80, 620}, {380, 420, 560}, {1250, 100, 700}},
  };
  for (int desktop = 0; desktop < kDesktops; ++desktop) {
    const std::uint32_t seed =
        looks.seedOffset + 9500 + static_cast<std::uint32_t>(managerIndex * 100 + desktop * 10);
    paintRoot(display,
              looks.wallpapers[static_cast<std::size_t>(desktop) % looks.wallpapers.size()]);
    const auto& places = layouts[static_cast<std::size_t>(desktop)];
    // Of the st looks, one dark and one light.
    std::vector<const TerminalLook*> pair;
    for (std::size_t n = 0; n < looks.st.size() && pair.size() < 2; ++n) {
      const TerminalLook& look =
          looks.st[(n + static_cast<std::size_t>(managerIndex * 2 + desktop)) % looks.st.size()];
      if (pair.empty() || look.dark != pair.front()->dark) pair.push_back(&look);
    }
    std::vector<std::unique_ptr<TerminalWindow>> terminals;
    bool shown = pair.size() == 2;
    for (std::size_t w = 0; w < 2 && shown; ++w) {
      terminals.push_back(
          corpus_detail::startTerminal(server.name(), folder, *pair[w], seed + std::uint32_t(w),
                                       w == 0 ? "ops@ledger-03: ~/deploy" : "less config/prod.env",
                                       places[w].x, places[w].y, places[w].height));
      shown = terminals.back()->waitShown(display);
    }
    const ScriptedTerminalLook& vteLook =
        looks.vte[static_cast<std::size_t>(managerIndex + desktop) % looks.vte.size()];
    PlantedTextMaker vteMaker(seed + 5);
    std::unique_ptr<ScriptedTerminal> vte;
    if (shown) {
      vte = std::make_unique<ScriptedTerminal>(
          server.name(), folder, vteLook,
          terminalSession(vteMaker, places[2].height / (vteLook.pixelSize() * 3 / 2)),
          "tail -f logs/app.log", places[2].x, places[2].y, 70);
      shown = vte->waitShown(display);
    }
    RealApplicationScreen made;
    made.desktop = true;
    made.screen.label = manager.command[manager.command.size() > 2 ? 2 : 0] + " desktop";
    const platform::Rect root{{0, 0}, {1920, 1080}};
    if (shown) made.screen.image = grabSettled(display, root, 3);
    const auto windows = topLevelWindows(display);
    if (made.screen.image) {
      corpus_detail::plantTerminals(display, terminals, windows, made, corpus.unseenLines);
      made.screen.label += ", " + vteLook.label();
      if (!plantVte(display, *vte, made, corpus.unseenLines)) made.screen.image.reset();
    }
    terminals.clear();
    vte.reset();
    corpus_detail::addDesktop(display, alreadyShown, windows, std::move(made), corpus);
  }
  XCloseDisplay(display);
}

}  // namespace other_detail

// Renders the corpus of `split`: st and VTE terminals and Geany alone, and desktops under xfwm4
// and marco, the groups at once on servers of their own; `moreSeeds` gives the split's looks with
// other content.
inline RealApplicationCorpus renderOtherApplicationCorpus(CorpusSplit split,
                                                          std::uint32_t moreSeeds = 0) {
  using namespace other_detail;
  XInitThreads();
  const IgnoringXErrors ignoring;
  const auto start = std::chrono::steady_clock::now();
  TemporaryFolder folder("corvane-other-screens");
  Looks looks = looksOf(split);
  looks.seedOffset += moreSeeds;
  const auto managers = otherWindowManagers();
  std::vector<std::function<void(RealApplicationCorpus&)>> groups{
      [&](RealApplicationCorpus& part) { stScreens(folder.path(), looks, part); },
      [&](RealApplicationCorpus& part) { vteScreens(folder.path(), looks, part); },
      [&](RealApplicationCorpus& part) { editorScreens(folder.path(), looks, part); }};
  for (std::size_t m = 0; m < managers.size(); ++m) {
    groups.push_back([&, m](RealApplicationCorpus& part) {
      desktopScreens(folder.path(), managers[m], static_cast<int>(m), looks, part);
    });
  }
  return corpus_detail::renderedInGroups(groups, start);
}

}  // namespace corvane::testing::real_application
