#pragma once

// A real terminal (xterm, urxvt or st) on a private X server, printing a prepared file of planted
// lines with a shell's cat. The truth comes from its cell grid: the window is `columns` ×
// `rows` cells inside a known inner border, so each character's cell follows from the window's
// size, and a planted line's row and columns give its box.

#include <signal.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/real_application/real_application_screen.h"
#include "support/real_application/x_screen.h"

namespace corvane::testing::real_application {

// How a terminal looks: its program, its font (a bitmap font of the X server, or a TrueType one
// at a point size), the font's pixel size and its theme. St takes its TrueType fonts at a pixel
// size.
struct TerminalLook {
  std::string program;  // "xterm", "urxvt" or "st"
  std::string font;     // "6x13", or a fontconfig family such as "DejaVu Sans Mono"
  int points = 0;       // 0: a bitmap font, or st's font at its pixel size
  int pixelSize = 0;    // the font's height in pixels: a bitmap font's own, points at 96 dpi
  bool dark = false;

  bool bitmapFont() const { return points == 0 && program != "st"; }
  std::string label() const {
    const std::string size = points         ? " " + std::to_string(points) + "pt"
                             : bitmapFont() ? ""
                                            : " " + std::to_string(pixelSize) + "px";
    return program + " " + font + size + (dark ? " dark" : " light");
  }
  // About the cell a font of this size takes, to size windows before they exist.
  int approximateCellWidth() const {
    return bitmapFont() ? std::stoi(font) : pixelSize * 6 / 10 + 1;
  }
  int approximateCellHeight() const { return pixelSize * 6 / 5 + 2; }
};

// The lines as a terminal prints them, their accents as colour escapes; with `secretsBlank`, each
// secret as spaces.
inline void writeTerminalLines(std::ostream& out, const std::vector<PlantedLine>& lines,
                               bool secretsBlank = false) {
  static const char* const accents[] = {"\033[0m", "\033[32m", "\033[1;34m", "\033[33m",
                                        "\033[90m"};
  for (std::size_t row = 0; row < lines.size(); ++row) {
    if (row) out << "\n";
    for (const PlantedPiece& piece : lines[row].pieces) {
      out << accents[piece.accent]
          << (secretsBlank && piece.secret ? std::string(piece.text.size(), ' ') : piece.text)
          << accents[0];
    }
  }
}

class TerminalWindow {
 public:
  static constexpr int kInnerBorder = 2;

  // Starts the terminal at (x, y) (root pixels), titled `title`, showing `lines`.
  TerminalWindow(const std::string& display, const std::filesystem::path& folder,
                 const TerminalLook& look, std::vector<PlantedLine> lines, std::string title, int x,
                 int y, int columns, int rows)
      : look_(look),
        lines_(std::move(lines)),
        title_(std::move(title)),
        columns_(columns),
        rows_(rows),
        instance_("corpus-terminal-" + std::to_string(nextNumber())) {
    const auto file = folder / (instance_ + ".txt");
    writeContent(file);
    const bool dark = look.dark;
    const std::string geometry = std::to_string(columns) + "x" + std::to_string(rows) + "+" +
                                 std::to_string(x) + "+" + std::to_string(y);
    const std::string show = "cat '" + file.string() + "'; exec sleep 600";
    if (look.program == "st") {
      // St's inner border is its built-in 2 pixels; its colours come with the content.
      pid_ = spawnQuietly(
          {"st", "-n", instance_, "-t", title_, "-g", geometry, "-f",
           look.font + ":pixelsize=" + std::to_string(look.pixelSize), "-e", "sh", "-c", show},
          {"DISPLAY=" + display, "HOME=" + folder.string()});
      return;
    }
    std::vector<std::string> command = {look.program,
                                        "-name",
                                        instance_,
                                        "-title",
                                        title_,
                                        "-geometry",
                                        geometry,
                                        "-b",
                                        std::to_string(kInnerBorder),
                                        "-fg",
                                        dark ? "#d4d7dc" : "#1d1f21",
                                        "-bg",
                                        dark ? "#1b1e24" : "#fbfaf5"};
    if (look.program == "urxvt") {
      command.insert(
          command.end(),
          {"+sb", "-lsp", "0", "-fn",
           look.points ? "xft:" + look.font + ":size=" + std::to_string(look.points) : look.font});
    } else if (look.points) {
      command.insert(command.end(), {"-fa", look.font, "-fs", std::to_string(look.points)});
    } else {
      command.insert(command.end(), {"-fn", look.font});
    }
    command.insert(command.end(), {"-e", "sh", "-c", show});
    // HOME in the folder: the user's own X resources (~/.Xdefaults) change nothing.
    pid_ = spawnQuietly(command, {"DISPLAY=" + display, "HOME=" + folder.string()});
  }
  ~TerminalWindow() { endProcess(pid_); }
  TerminalWindow(const TerminalWindow&) = delete;
  TerminalWindow& operator=(const TerminalWindow&) = delete;

  const TerminalLook& look() const { return look_; }

  // Waits until the last line is printed (its cells hold ink); false when the terminal never
  // got there or its window is not a whole grid of cells.
  bool waitShown(Display* display) {
    const bool mapped = waitUntil([&] {
      window_ = findByInstance(display, DefaultRootWindow(display), instance_);
      return window_.has_value() && grid(display).has_value();
    });
    if (!mapped) return false;
    return waitUntil([&] {
      const auto last = grid(display)->cells(lines_.size() - 1, 0, lines_.back().text().size());
      const auto pixels = grabArea(display, last);
      return pixels && inkWithin(*pixels, {{0, 0}, last.size}).has_value();
    });
  }

  // The terminal window's rectangle in root pixels (after waitShown).
  platform::Rect bounds(Display* display) const { return rootRect(display, *window_); }

  // Adds the planted lines to `screen`, whose image starts at `origin` of the root; lines within
  // any of `hidden` (root pixels: windows above this one) are left out.
  void plant(Display* display, RealApplicationScreen& screen, platform::Point origin,
             const std::vector<platform::Rect>& hidden, int& unseen) const {
    const auto cells = *grid(display);
    auto onImage = [&origin](platform::Rect box) {
      box.origin = {box.minX() - origin.x, box.minY() - origin.y};
      return box;
    };
    for (std::size_t row = 0; row < lines_.size(); ++row) {
      const PlantedLine& line = lines_[row];
      const auto box = cells.cells(row, 0, line.text().size());
      if (std::any_of(hidden.begin(), hidden.end(),
                      [&](const platform::Rect& above) { return above.intersects(box); }))
        continue;
      const auto [at, length] = line.secretSpan();
      placeLine(screen, line, onImage(box), onImage(cells.cells(row, at, length)), look_.pixelSize,
                unseen);
    }
  }

 private:
  // Where the window's character cells lie on the root.
  struct CellGrid {
    double left, top, cellWidth, cellHeight;
    platform::Rect cells(std::size_t row, std::size_t column, std::size_t count) const {
      return {{left + column * cellWidth, top + row * cellHeight}, {count * cellWidth, cellHeight}};
    }
  };

  // The grid the window's size gives: `columns_` × `rows_` cells inside the inner border; nothing
  // when the size is not a whole number of cells.
  std::optional<CellGrid> grid(Display* display) const {
    const platform::Rect window = bounds(display);
    const int innerWidth = static_cast<int>(window.width()) - 2 * kInnerBorder;
    const int innerHeight = static_cast<int>(window.height()) - 2 * kInnerBorder;
    if (innerWidth <= 0 || innerHeight <= 0 || innerWidth % columns_ != 0 ||
        innerHeight % rows_ != 0)
      return std::nullopt;
    return CellGrid{window.minX() + kInnerBorder, window.minY() + kInnerBorder,
                    double(innerWidth / columns_), double(innerHeight / rows_)};
  }

  static int nextNumber() {
    static std::atomic<int> made{0};
    return ++made;
  }

  // The lines with their accents as colour escapes, then the cursor hidden; st's colours first.
  void writeContent(const std::filesystem::path& file) const {
    std::ofstream out(file, std::ios::binary);
    if (look_.program == "st")
      out << (look_.dark ? "\033]11;#1b1e24\007\033]10;#d4d7dc\007"
                         : "\033]11;#fbfaf5\007\033]10;#1d1f21\007");
    writeTerminalLines(out, lines_);
    out << "\033[?25l";
  }

  TerminalLook look_;
  std::vector<PlantedLine> lines_;
  std::string title_;
  int columns_;
  int rows_;
  std::string instance_;
  pid_t pid_ = -1;
  std::optional<Window> window_;
};

// A terminal session of `rows` lines: prompts, each followed by output holding secrets,
// near-misses and plain lines.
inline std::vector<PlantedLine> terminalSession(PlantedTextMaker& maker, int rows) {
  std::vector<PlantedLine> lines;
  while (static_cast<int>(lines.size()) < rows) {
    switch (lines.size() % 6) {
      case 0:
        lines.push_back(maker.promptLine());
        break;
      case 1:
      case 4:
        lines.push_back(maker.terminalSecretLine(maker.nextKind()));
        break;
      case 3:
        lines.push_back(maker.terminalNearMiss());
        break;
      default:
        lines.push_back(maker.terminalPlainLine());
    }
  }
  return lines;
}

}  // namespace corvane::testing::real_application
