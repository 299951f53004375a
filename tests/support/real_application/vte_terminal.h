#pragma once

// A VTE terminal (xfce4-terminal) on a private X server, printing planted lines. Its padding and
// cell size are its own, so the truth comes from its drawings (drawn_lines.h): the terminal
// prints the lines, then, each time it is told, clears its screen, prints the lines' marks, and
// prints the lines with their secrets blanked, each in the same rows.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/real_application/drawn_lines.h"
#include "support/real_application/terminal_window.h"
#include "support/real_application/x_screen.h"

namespace corvane::testing::real_application {

struct VteLook {
  std::string font;  // a fontconfig family
  int points = 11;
  bool dark = false;

  int pixelSize() const { return points * 4 / 3; }
  std::string label() const {
    return "xfce4-terminal " + font + " " + std::to_string(points) + "pt" +
           (dark ? " dark" : " light");
  }
};

class VteTerminal {
 public:
  VteTerminal(const std::string& display, const std::filesystem::path& folder, const VteLook& look,
              std::vector<PlantedLine> lines, const std::string& title, int x, int y, int columns)
      : look_(look),
        lines_(std::move(lines)),
        title_(title + " #" + std::to_string(nextNumber())),
        steps_(folder / ("vte-" + std::to_string(nextNumber()))) {
    std::filesystem::create_directories(steps_ / "xfce4" / "terminal");
    std::ofstream(steps_ / "xfce4" / "terminal" / "terminalrc")
        << "[Configuration]\nFontName=" << look.font << " " << look.points
        << "\nColorForeground=" << (look.dark ? "#d0d3d8" : "#202326")
        << "\nColorBackground=" << (look.dark ? "#202227" : "#fdfdfb")
        << "\nColorPalette=#2e3436;#cc0000;#4e9a06;#c4a000;#3465a4;#75507b;#06989a;#d3d7cf;"
           "#555753;#ef2929;#8ae234;#fce94f;#729fcf;#ad7fa8;#34e2e2;#eeeeec"
        << "\nMiscMenubarDefault=FALSE\nMiscToolbarDefault=FALSE\nMiscCursorBlinks=FALSE"
        << "\nScrollingBar=TERMINAL_SCROLLBAR_NONE\nTitleMode=TERMINAL_TITLE_HIDE\n";
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
    pid_ = spawnQuietly(
        {"xfce4-terminal", "--disable-server", "--title=" + title_,
         "--geometry=" + std::to_string(columns) + "x" + std::to_string(lines_.size()) + "+" +
             std::to_string(x) + "+" + std::to_string(y),
         "-x", "sh", "-c", script},
        {"DISPLAY=" + display, "HOME=" + folder.string(), "XDG_CONFIG_HOME=" + steps_.string(),
         "NO_AT_BRIDGE=1"});
  }
  ~VteTerminal() { endProcess(pid_); }
  VteTerminal(const VteTerminal&) = delete;
  VteTerminal& operator=(const VteTerminal&) = delete;

  const VteLook& look() const { return look_; }
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

  VteLook look_;
  std::vector<PlantedLine> lines_;
  std::string title_;
  std::filesystem::path steps_;
  pid_t pid_ = -1;
  std::optional<Window> window_;
};

}  // namespace corvane::testing::real_application
