// The real-application corpus the benchmarks judge the engine on: its planted lines mean what
// they say under the rules, and a terminal's cell grid puts each line's truth on its own text.

#include <gtest/gtest.h>

#include "platform/program_path.h"
#include "support/real_application/other_application_corpus.h"
#include "support/real_application/real_application_corpus.h"
#include "support/real_application/scripted_terminal.h"
#include "support/real_application/text_editor.h"
#include "support/tesseract_analyzer.h"
#include "verification/sensitivity_engine.h"

namespace corvane::testing::real_application {
namespace {

// Every planted secret is one the rules find, of its kind and where it was planted; no
// near-miss or plain line gives a finding (terminal sessions, configuration files, pages).
TEST(RealApplicationScreens, PlantedLinesAgreeWithTheRules) {
  const verification::SensitivityEngine engine;
  const auto preferences = corpusPreferences();
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    PlantedTextMaker maker(seed);
    std::vector<PlantedLine> lines = terminalSession(maker, 60);
    for (PlantedLine& line : configFileLines(maker, 30)) lines.push_back(std::move(line));
    for (const auto layout :
         {PageLayout::dashboard, PageLayout::form, PageLayout::table, PageLayout::runbook}) {
      PageWriter writer(maker, {layout, 1.0, false, "DejaVu Sans", 14});
      writer.html();
      lines.insert(lines.end(), writer.lines().begin(), writer.lines().end());
    }
    for (const PlantedLine& line : lines) {
      const std::string text = line.text();
      const auto items = engine.detect(text, "corpus", preferences, std::nullopt, 1.0);
      if (line.role != LineRole::secret) {
        EXPECT_TRUE(items.empty()) << "seed " << seed << ": \"" << text << "\" gives a finding";
        continue;
      }
      const auto [at, length] = line.secretSpan();
      const std::string secret = text.substr(at, length);
      const bool found = std::any_of(items.begin(), items.end(), [&](const auto& item) {
        const std::string raw = item.rawText.value_or("");
        return item.kind == *line.kind &&
               (raw.find(secret) != std::string::npos || secret.find(raw) != std::string::npos);
      });
      EXPECT_TRUE(found) << "seed " << seed << ": the secret of \"" << text << "\" is not found";
    }
  }
}

// An xterm with a bitmap font, dark: every planted line shows, its ink starts at its first cell
// and reaches its last one, and the cells after its end are empty.
TEST(RealApplicationScreens, ATerminalsCellGridLandsOnItsText) {
  XvfbServer server(1280, 800, {"-dpi", "96"});
  ASSERT_TRUE(server.ok());
  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  TemporaryFolder folder("corvane-terminal-screen");
  const IgnoringXErrors ignoring;
  const TerminalLook look{"xterm", "6x13", 0, 13, true};
  int unseen = 0;
  const auto made =
      corpus_detail::terminalScreen(display, server.name(), folder.path(), look, 7, unseen);
  XCloseDisplay(display);
  ASSERT_TRUE(made.has_value()) << "the terminal did not show its lines";
  EXPECT_EQ(unseen, 0);
  const auto& image = *made->screen.image;
  const int cellWidth = 6, cellHeight = 13, border = TerminalWindow::kInnerBorder;
  std::vector<ScreenLine> lines = made->screen.lines;
  lines.insert(lines.end(), made->nearMisses.begin(), made->nearMisses.end());
  EXPECT_GE(lines.size(), 30u);
  for (const ScreenLine& line : lines) {
    const int row = (static_cast<int>(line.textBox.minY()) - border) / cellHeight;
    const double rowTop = border + row * cellHeight;
    const auto first = line.text.find_first_not_of(' ');
    const auto last = line.text.find_last_not_of(' ');
    const double textStart = border + static_cast<double>(first) * cellWidth;
    const double textEnd = border + static_cast<double>(last + 1) * cellWidth;
    EXPECT_GE(line.textBox.minX(), textStart) << line.text;
    EXPECT_LE(line.textBox.minX(), textStart + cellWidth) << line.text;
    EXPECT_GT(line.textBox.maxX(), textEnd - cellWidth) << line.text;
    EXPECT_LE(line.textBox.maxX(), textEnd) << line.text;
    EXPECT_LE(line.textBox.maxY(), rowTop + cellHeight) << line.text;
    const auto after = inkWithin(image, {{textEnd, rowTop}, {6.0 * cellWidth, cellHeight}});
    EXPECT_FALSE(after.has_value()) << "ink after \"" << line.text << "\"";
    if (line.secret) {
      EXPECT_GE(line.secretBox.minX(), line.textBox.minX()) << line.text;
      EXPECT_LE(line.secretBox.maxX(), line.textBox.maxX()) << line.text;
    }
  }
}

// `lines` (their truth from drawings) one below another, each at least `rowGap` below the one
// above, each secret within its line.
void expectOneBelowAnother(std::vector<ScreenLine> lines, double rowGap) {
  std::sort(lines.begin(), lines.end(), [](const ScreenLine& a, const ScreenLine& b) {
    return a.textBox.minY() < b.textBox.minY();
  });
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const ScreenLine& line = lines[i];
    if (i > 0) EXPECT_GE(line.textBox.minY(), lines[i - 1].textBox.minY() + rowGap) << line.text;
    if (line.secret) {
      EXPECT_GE(line.secretBox.minX(), line.textBox.minX()) << line.text;
      EXPECT_LE(line.secretBox.maxX(), line.textBox.maxX()) << line.text;
      EXPECT_GE(line.secretBox.minY(), line.textBox.minY() - 1) << line.text;
      EXPECT_LE(line.secretBox.maxY(), line.textBox.maxY() + 1) << line.text;
    }
  }
}

std::vector<ScreenLine> allLines(const RealApplicationScreen& made) {
  std::vector<ScreenLine> lines = made.screen.lines;
  lines.insert(lines.end(), made.nearMisses.begin(), made.nearMisses.end());
  return lines;
}

// A program on a private server of the corpus's size, alone; skipped where it is not installed.
class ProgramAlone : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (!platform::findProgram(GetParam(), platform::programSearchPath()))
      GTEST_SKIP() << "needs " << GetParam();
    ASSERT_TRUE(server.ok());
    display = XOpenDisplay(server.name().c_str());
    ASSERT_NE(display, nullptr);
  }
  void TearDown() override {
    if (display) XCloseDisplay(display);
  }

  XvfbServer server{1280, 800, {"-dpi", "96"}};
  Display* display = nullptr;
  TemporaryFolder folder{"corvane-program-alone"};
  const IgnoringXErrors ignoring;
};

class ScriptedTerminalProgram : public ProgramAlone {};

// A terminal's truth comes from its drawings, whatever draws them: every planted line lands on
// its own text, one row after another, its ink as wide as its characters (in a monospaced font),
// its secret within it.
TEST_P(ScriptedTerminalProgram, DrawingsPutEachLineOnItsOwnText) {
  PlantedTextMaker maker(11);
  ScriptedTerminal terminal(server.name(), folder.path(),
                            {"DejaVu Sans Mono", 10, true, GetParam()}, terminalSession(maker, 24),
                            "ledger", 0, 0, 90);
  int unseen = 0;
  const auto made = other_detail::scriptedTerminalScreen(display, terminal, unseen);
  ASSERT_TRUE(made.has_value()) << "the terminal did not show its lines";
  EXPECT_EQ(unseen, 0);
  const std::vector<ScreenLine> lines = allLines(*made);
  ASSERT_EQ(lines.size(), 24u);
  auto span = [](const std::string& text) {
    return static_cast<double>(text.find_last_not_of(' ') - text.find_first_not_of(' ') + 1);
  };
  std::vector<double> cellWidths;
  for (const ScreenLine& line : lines) cellWidths.push_back(line.textBox.width() / span(line.text));
  std::nth_element(cellWidths.begin(), cellWidths.begin() + 12, cellWidths.end());
  const double cell = cellWidths[12];
  for (const ScreenLine& line : lines)
    EXPECT_NEAR(line.textBox.width(), span(line.text) * cell, 1.5 * cell) << line.text;
  expectOneBelowAnother(lines, 8);
}

INSTANTIATE_TEST_SUITE_P(RealApplicationScreens, ScriptedTerminalProgram,
                         ::testing::Values("xfce4-terminal", "lxterminal", "qterminal", "mlterm"));

class EditorProgram : public ProgramAlone {};

// An editor's truth comes from its drawings, in a proportional font too: every line of the file
// lands in its own row, starting at the text's left margin, its secret within it.
TEST_P(EditorProgram, DrawingsPutEachLineOnItsOwnText) {
  PlantedTextMaker maker(12);
  const auto lines = configFileLines(maker, 20);
  const EditorLook look{"Cantarell", 11, GetParam()};
  const Drawings drawings =
      drawEditor(display, server.name(), folder.path(), look, lines, 1280, 800, "e");
  RealApplicationScreen made;
  made.screen.image = drawings.lines;
  int unseen = 0;
  ASSERT_TRUE(drawings.lines);
  ASSERT_TRUE(plantDrawnLines(made, lines, drawings, {0, 0}, look.pixelSize(), unseen))
      << "the drawings do not show each line's row";
  EXPECT_EQ(unseen, 0);
  const std::vector<ScreenLine> placed = allLines(made);
  ASSERT_EQ(placed.size(), lines.size());
  // Lines that begin with a character (none is indented) begin at the same margin.
  double margin = placed.front().textBox.minX();
  for (const ScreenLine& line : placed) margin = std::min(margin, line.textBox.minX());
  for (const ScreenLine& line : placed) {
    if (line.text.front() != ' ') EXPECT_LE(line.textBox.minX(), margin + 3) << line.text;
  }
  expectOneBelowAnother(placed, 8);
}

INSTANTIATE_TEST_SUITE_P(RealApplicationScreens, EditorProgram,
                         ::testing::Values("geany", "mousepad", "pluma"));

}  // namespace
}  // namespace corvane::testing::real_application
