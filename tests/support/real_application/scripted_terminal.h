#pragma once

// A terminal whose padding and cell size are its own (xfce4-terminal, lxterminal, qterminal,
// mlterm) on a private X server, printing planted lines. The truth comes from its drawings
// (drawn_lines.h): the terminal prints the lines, then, each time it is told, clears its screen,
// prints the lines' marks, and prints the lines with their secrets blanked, each in the same rows.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/real_application/drawn_lines.h"
#include "support/real_application/terminal_window.h"
#include "support/real_application/x_screen.h"

namespace corvane::testing::real_application {

struct ScriptedTerminalLook {
  std::string font;  // a fontconfig family
  int points = 11;
  bool dark = false;
  std::string program = "xfce4-terminal";  // or "lxterminal", "qterminal", "mlterm"

  int pixelSize() const { return points * 4 / 3; }
  std::string label() const {
    return program + " " + font + " " + std::to_string(points) + "pt" + (dark ? " dark" : " light");
  }
  const char* foreground() const { return dark ? "#d0d3d8" : "#202326"; }
  const char* background() const { return dark ? "#202227" : "#fdfdfb"; }
};

// How a terminal program is started: its command and environment.
struct TerminalLaunch {
  std::vector<std::string> command;
  std::vector<std::string> environment;
};

namespace scripted_detail {

// `look`'s program running `script` at (x, y), `columns` × `rows` cells, its settings written
// into `settings` (its configuration folder) and `home`, both its own.
inline TerminalLaunch launch(const ScriptedTerminalLook& look, const std::filesystem::path& home,
                             const std::filesystem::path& settings, const std::string& script,
                             const std::string& title, int x, int y, int columns, int rows) {
  const std::string font = look.font + " " + std::to_string(look.points);
  std::vector<std::string> environment{"HOME=" + home.string(),
                                       "XDG_CONFIG_HOME=" + settings.string(), "NO_AT_BRIDGE=1"};
  const std::string cells = std::to_string(columns) + "x" + std::to_string(rows);
  const std::string place = "+" + std::to_string(x) + "+" + std::to_string(y);
  if (look.program == "lxterminal") {
    std::filesystem::create_directories(settings / "lxterminal");
    std::ofstream(settings / "lxterminal" / "lxterminal.conf")
        << "[general]\nfontname=" << font << "\nfgcolor=" << look.foreground()
        << "\nbgcolor=" << look.background()
        << "\nhidescrollbar=true\nhidemenubar=true\ncursorblinks=false\nhideclosebutton=true\n";
    return {{"lxterminal", "--no-remote", "--title=" + title, "--geometry=" + cells, "-e", "sh",
             "-c", script},
            environment};
  }
  if (look.program == "qterminal") {
    // Its window takes a size in pixels: about the cells a font of this size takes, and more.
    const int width = columns * (look.pixelSize() * 2 / 3 + 1) + 24;
    const int height = rows * (look.pixelSize() * 3 / 2 + 1) + 24;
    std::filesystem::create_directories(settings / "qterminal.org");
    std::ofstream(settings / "qterminal.org" / "qterminal.ini")
        << "[General]\nfontFamily=" << look.font << "\nfontSize=" << look.points
        << "\ncolorScheme=" << (look.dark ? "WhiteOnBlack" : "BlackOnWhite")
        << "\nHideTabBarWithOneTab=true\nMenuVisible=false\nScrollbarPosition=0"
        << "\nAskOnExit=false\nSaveSizeOnExit=false\nSavePosOnExit=false\nversion=1.2.0"
        << "\n[MainWindow]\nfixedSize=@Size(" << width << " " << height << ")\nsize=@Size(" << width
        << " " << height << ")\npos=@Point(" << x << " " << y << ")\n";
    return {{"qterminal", "-e", "sh", "-c", script}, environment};
  }
  if (look.program == "mlterm") {
    // Its anti-aliased fonts come from its own settings, its sizes in pixels.
    std::filesystem::create_directories(home / ".mlterm");
    std::ofstream(home / ".mlterm" / "aafont")
        << "DEFAULT = " << look.font << "\nISO10646_UCS4_1 = " << look.font << "\n";
    return {{"mlterm", "--type=cairo", "-w", std::to_string(look.pixelSize()), "-f",
             look.foreground(), "-b", look.background(), "--sb=false", "--blink=false", "-T", title,
             "-g", cells + place, "-e", "sh", "-c", script},
            environment};
  }
  std::filesystem::create_directories(settings / "xfce4" / "terminal");
  std::ofstream(settings / "xfce4" / "terminal" / "terminalrc")
      << "[Configuration]\nFontName=" << font << "\nColorForeground=" << look.foreground()
      << "\nColorBackground=" << look.background()
      << "\nColorPalette=#2e3436;#cc0000;#4e9a06;#c4a000;#3465a4;#75507b;#06989a;#d3d7cf;"
         "#555753;#ef2929;#8ae234;#fce94f;#729fcf;#ad7fa8;#34e2e2;#eeeeec"
      << "\nMiscMenubarDefault=FALSE\nMiscToolbarDefault=FALSE\nMiscCursorBlinks=FALSE"
      << "\nScrollingBar=TERMINAL_SCROLLBAR_NONE\nTitleMode=TERMINAL_TITLE_HIDE\n";
  return {{"xfce4-terminal", "--disable-server", "--title=" + title, "--geometry=" + cells + place,
           "-x", "sh", "-c", script},
          environment};
}

}  // namespace scripted_detail

class ScriptedTerminal {
 public:
  ScriptedTerminal(const std::string& display, const std::filesystem::path& folder,
                   const ScriptedTerminalLook& look, std::vector<PlantedLine> lines,
                   const std::string& title, int x, int y, int columns)
      : look_(look),
        lines_(std::move(lines)),
        title_(title + " #" + std::to_string(nextNumber())),
        steps_(folder / ("terminal-" + std::to_string(nextNumber()))) {
    std::filesystem::create_directories(steps_);
    std::ofstream lines_file(steps_ / "lines.txt", std::ios::binary);
    writeTerminalLines(lines_file, lines_);
    std::ofstream marks_file(steps_ / "marks.txt", std::ios::binary);
    for (std::size_t row = 0; row < lines_.size(); ++row)
      marks_file << (row ? "\n" : "") << redrawn(lines_[row], Redrawn::marks);
    std::ofstream secrets_file(steps_ / "secrets-blank.txt", std::ios::binary);
    writeTerminalLines(secrets_file, lines_, true);
    const std::string wait = "while [ ! -e '" + (steps_ / "next").string() +
                             "' ]; do sleep 0.03; done; rm -f '" + (steps_ / "next").string() +
                             "'; ";
    const std::string clear = "printf '\\033[H\\033[2J'; ";
    auto show = [&](const char* name) { return "cat '" + (steps_ / name).string() + "'; "; };
    const std::string script = "printf '\\033[?25l'; " + show("lines.txt") + wait + clear + wait +
                               clear + show("marks.txt") + wait + clear +
                               show("secrets-blank.txt") + "exec sleep 600";
    // The title is also printed, for terminals that take none when they start.
    auto [command, environment] = scripted_detail::launch(
        look_, steps_, steps_, "printf '\\033]0;" + title_ + "\\007'; " + script, title_, x, y,
        columns, static_cast<int>(lines_.size()));
    environment.push_back("DISPLAY=" + display);
    pid_ = spawnQuietly(command, environment);
  }
  ~ScriptedTerminal() { endProcess(pid_); }
  ScriptedTerminal(const ScriptedTerminal&) = delete;
  ScriptedTerminal& operator=(const ScriptedTerminal&) = delete;

  const ScriptedTerminalLook& look() const { return look_; }
  const std::vector<PlantedLine>& lines() const { return lines_; }

  // Waits until the window shows and its drawing settles with ink in it; false when it never did.
  bool waitShown(Display* display) {
    const bool mapped = waitUntil([&] {
      window_ = findByTitle(display, DefaultRootWindow(display), title_);
      return window_.has_value() && rootRect(display, *window_).width() > 50;
    });
    if (!mapped) return false;
    return waitUntil([&] {
      const auto pixels = grabArea(display, bounds(display));
      return pixels && inkWithin(*pixels, {{0, 0}, bounds(display).size}).has_value();
    });
  }

  // The window's rectangle in root pixels (after waitShown).
  platform::Rect bounds(Display* display) const { return rootRect(display, *window_); }

  // The four drawings of the window, in turn; the terminal shows its lines without their secrets
  // afterwards.
  Drawings draw(Display* display) {
    const platform::Rect area = bounds(display);
    Drawings drawings;
    drawings.lines = grabSettled(display, area);
    drawings.blank = nextDrawing(display, area, drawings.lines);
    drawings.marks = nextDrawing(display, area, drawings.blank);
    drawings.secretsBlank = nextDrawing(display, area, drawings.marks);
    return drawings;
  }

 private:
  static int nextNumber() {
    static std::atomic<int> made{0};
    return ++made;
  }

  std::shared_ptr<platform::PixelBuffer> nextDrawing(
      Display* display, const platform::Rect& area,
      const std::shared_ptr<platform::PixelBuffer>& before) {
    if (!before) return nullptr;
    std::ofstream(steps_ / "next") << "\n";
    const bool changed = waitUntil(
        [&] {
          const auto now = grabArea(display, area);
          return now && std::memcmp(now->data(), before->data(), now->byteCount()) != 0;
        },
        10.0);
    return changed ? grabSettled(display, area) : nullptr;
  }

  ScriptedTerminalLook look_;
  std::vector<PlantedLine> lines_;
  std::string title_;
  std::filesystem::path steps_;
  pid_t pid_ = -1;
  std::optional<Window> window_;
};

}  // namespace corvane::testing::real_application
