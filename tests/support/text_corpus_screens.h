#pragma once

// Whole screens rendered with Cairo at test time, as real desktops show them: several font
// families (sans, serif, mono, Korean), grayscale and subpixel rendering with different hinting,
// dark and light windows, full 1920×1080 desktops with two tiled windows, editors with syntax
// colours, spreadsheets, chat, mail, forms with input boxes and Korean lines. Secrets of the five
// built-in kinds are planted at 10 to 24 px beside benign near-misses and plain lines; the score
// says which secrets a result masked and which plain lines it masked.

#include <cairo.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "model/protected_frame_analysis_result.h"
#include "model/sensitive_content.h"
#include "platform/geometry.h"
#include "platform/pixel_buffer.h"
#include "verification/pixel_rect.h"
#include "verification/protected_analysis_region_planner.h"
#include "verification/redaction_coalescing.h"

namespace corvane::testing {

// One rendered line: where its ink lies (pixels, top left) and, for a planted secret, where the
// secret's own ink lies.
struct ScreenLine {
  std::string text;
  int pixelSize = 0;
  platform::Rect textBox;
  std::optional<model::SensitiveKind> secret;
  platform::Rect secretBox;
  bool plain = false;  // benign: nothing may be masked on it
};

struct CorpusScreen {
  std::string label;
  std::shared_ptr<platform::PixelBuffer> image;
  std::vector<platform::Rect> windows;  // pixels, top left
  std::vector<ScreenLine> lines;
};

namespace screen_corpus_detail {

struct Theme {
  double background[3];
  double text[3];
  double muted[3];
  double keyword[3];
  double string[3];
  double chrome[3];
  double field[3];
};

inline const Theme& theme(bool dark) {
  static const Theme light{{1, 1, 1},         {0.11, 0.11, 0.12}, {0.42, 0.42, 0.45},
                           {0.0, 0.2, 0.7},   {0.64, 0.08, 0.08}, {0.9, 0.9, 0.91},
                           {0.97, 0.97, 0.98}};
  static const Theme darkTheme{{0.16, 0.17, 0.2}, {0.86, 0.87, 0.89}, {0.55, 0.57, 0.6},
                               {0.55, 0.7, 1.0},  {0.9, 0.66, 0.45},  {0.1, 0.1, 0.12},
                               {0.09, 0.09, 0.11}};
  return dark ? darkTheme : light;
}

struct Rendering {
  cairo_antialias_t antialias;
  cairo_hint_style_t hinting;
  const char* name;
};

inline const std::vector<Rendering>& renderings() {
  static const std::vector<Rendering> all{
      {CAIRO_ANTIALIAS_GRAY, CAIRO_HINT_STYLE_SLIGHT, "gray/slight"},
      {CAIRO_ANTIALIAS_SUBPIXEL, CAIRO_HINT_STYLE_FULL, "subpixel/full"},
      {CAIRO_ANTIALIAS_GRAY, CAIRO_HINT_STYLE_NONE, "gray/none"},
      {CAIRO_ANTIALIAS_SUBPIXEL, CAIRO_HINT_STYLE_SLIGHT, "subpixel/slight"},
  };
  return all;
}

struct Fonts {
  const char* sans;
  const char* serif;
  const char* mono;
};

inline const std::vector<Fonts>& fontSets() {
  static const std::vector<Fonts> all{
      {"Liberation Sans", "Liberation Serif", "Liberation Mono"},
      {"Noto Sans", "Noto Serif", "Noto Sans Mono"},
      {"Nimbus Sans", "Nimbus Roman", "Nimbus Mono PS"},
      {"DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono"},
  };
  return all;
}

constexpr const char* kKoreanFont = "Noto Sans CJK KR";

// Random secrets of each kind, as people paste them.
class SecretMaker {
 public:
  explicit SecretMaker(std::mt19937& random) : random_(random) {}

  std::string pick(const std::vector<std::string>& choices) {
    return choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(random_)];
  }
  std::string characters(const std::string& alphabet, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) out += pick1(alphabet);
    return out;
  }
  std::string digits(int count) { return characters("0123456789", count); }

  // The secret, and a sentence-start to put before it.
  std::pair<std::string, std::string> make(model::SensitiveKind kind) {
    using K = model::SensitiveKind;
    const std::string alnum = "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    switch (kind) {
      case K::apiKey:
        return {pick({"sk-live" + characters(alnum, 16), "ghp_" + characters(alnum, 20),
                      "AKIA" + characters("ABCDEFGHJKLMNPQRSTUVWXYZ234567", 16)}),
                pick({"Deploy key ", "token = ", "export KEY=", "Key: "})};
      case K::email:
        return {pick({"nina", "anna.berg", "ops-team", "m.lopez", "sales"}) + "@" +
                    pick({"northwind", "fabrikam", "contoso", "quarry-labs"}) + "." +
                    pick({"com", "org", "io", "de"}),
                pick({"Contact ", "From: ", "cc ", "Write to "})};
      case K::phoneNumber:
        return {pick({"+1 415-555-" + digits(4), "(212) 555-" + digits(4),
                      "010-" + digits(4) + "-" + digits(4), "+44 20 7946 " + digits(4)}),
                pick({"Call ", "Phone: ", "Hotline ", "Mobile "})};
      case K::revenue:
        return {"$" + std::to_string(std::uniform_int_distribution<int>(100, 999)(random_)) + "," +
                    digits(3) + pick({" ARR", " MRR", "", ".00"}),
                pick({"Q3 closed at ", "Revenue ", "Total ", "Pipeline "})};
      case K::internalURL:
        return {pick({"https://", "", "http://"}) + pick({"admin", "staging", "internal"}) + "." +
                    pick({"northwind", "fabrikam", "contoso"}) + "." + pick({"io", "com", "net"}) +
                    pick({"/billing", "/wiki", "", "/api/v2"}),
                pick({"Open ", "See ", "Deployed to ", "URL: "})};
      case K::customer:
        break;
    }
    return {"", ""};
  }

 private:
  char pick1(const std::string& alphabet) {
    return alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(random_)];
  }
  std::mt19937& random_;
};

// Lines that look a little like secrets and are not, and ordinary prose.
inline const std::vector<std::string>& plainLines() {
  static const std::vector<std::string> all{
      "Meeting notes for the weekly sync",
      "Version 2.14.3 released last Tuesday",
      "Email the team about the launch",
      "The admin panel moved to settings",
      "Order 48213 shipped on Monday",
      "Price starts at 12 dollars a seat",
      "Key dates are May 3 and June 14",
      "Call the front desk at noon",
      "Install with pip install scikit-learn",
      "Docs live at docs.python.org/3/",
      "Ticket #4521 is waiting for review",
      "Budget review moved to Friday",
      "Use the staging checklist first",
      "Reply by 5 pm at the latest",
      "Room 204, second floor",
      "Internal wiki pages were updated",
  };
  return all;
}

inline const std::vector<std::string>& koreanPlainLines() {
  static const std::vector<std::string> all{
      "회의 자료를 확인해 주세요",
      "다음 주 일정이 변경되었습니다",
      "보고서는 금요일까지 제출",
  };
  return all;
}

// Draws into one screen, keeping the boxes of everything it writes.
class ScreenPainter {
 public:
  ScreenPainter(CorpusScreen& screen, const Rendering& rendering)
      : screen_(screen),
        surface_(cairo_image_surface_create_for_data(
            screen.image->mutableData(), CAIRO_FORMAT_ARGB32, screen.image->width(),
            screen.image->height(), screen.image->bytesPerRow())),
        cr_(cairo_create(surface_)),
        options_(cairo_font_options_create()) {
    cairo_font_options_set_antialias(options_, rendering.antialias);
    cairo_font_options_set_hint_style(options_, rendering.hinting);
    cairo_font_options_set_subpixel_order(options_, CAIRO_SUBPIXEL_ORDER_RGB);
    cairo_set_font_options(cr_, options_);
  }
  ~ScreenPainter() {
    cairo_font_options_destroy(options_);
    cairo_destroy(cr_);
    cairo_surface_flush(surface_);
    cairo_surface_destroy(surface_);
  }
  ScreenPainter(const ScreenPainter&) = delete;
  ScreenPainter& operator=(const ScreenPainter&) = delete;

  void fill(const platform::Rect& r, const double (&rgb)[3]) {
    cairo_set_source_rgb(cr_, rgb[0], rgb[1], rgb[2]);
    cairo_rectangle(cr_, r.minX(), r.minY(), r.width(), r.height());
    cairo_fill(cr_);
  }
  void frame(const platform::Rect& r, const double (&rgb)[3]) {
    cairo_set_source_rgb(cr_, rgb[0], rgb[1], rgb[2]);
    cairo_set_line_width(cr_, 1);
    cairo_rectangle(cr_, r.minX() + 0.5, r.minY() + 0.5, r.width() - 1, r.height() - 1);
    cairo_stroke(cr_);
  }

  struct Piece {
    std::string text;
    const double* colour;
    bool secret = false;
  };

  // Writes the pieces one after another from (x, top) at `size` px, and records the line. Pieces
  // marked secret make up the secret's box.
  void write(double x, double top, const char* family, int size, const std::vector<Piece>& pieces,
             std::optional<model::SensitiveKind> secret, bool plain) {
    cairo_select_font_face(cr_, family, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr_, size);
    const double baseline = top + size * 0.95;
    cairo_move_to(cr_, x, baseline);
    ScreenLine line;
    line.pixelSize = size;
    line.secret = secret;
    line.plain = plain;
    // Ink boxes (what a mask must cover), a pixel in from each side for hinting's rounding.
    std::optional<platform::Rect> ink, secretInk;
    auto grow = [](std::optional<platform::Rect>& box, const platform::Rect& piece) {
      if (!box) {
        box = piece;
        return;
      }
      const double minX = std::min(box->minX(), piece.minX());
      const double minY = std::min(box->minY(), piece.minY());
      box = platform::Rect{
          {minX, minY},
          {std::max(box->maxX(), piece.maxX()) - minX, std::max(box->maxY(), piece.maxY()) - minY}};
    };
    for (const Piece& piece : pieces) {
      double startX = 0, y = 0;
      cairo_get_current_point(cr_, &startX, &y);
      cairo_text_extents_t extents;
      cairo_text_extents(cr_, piece.text.c_str(), &extents);
      cairo_set_source_rgb(cr_, piece.colour[0], piece.colour[1], piece.colour[2]);
      cairo_show_text(cr_, piece.text.c_str());
      line.text += piece.text;
      if (extents.width <= 2 || extents.height <= 2) continue;
      const platform::Rect box{
          {startX + extents.x_bearing + 1, baseline + extents.y_bearing + 1},
          {std::max(1.0, extents.width - 2), std::max(1.0, extents.height - 2)}};
      grow(ink, box);
      if (piece.secret) grow(secretInk, box);
    }
    line.textBox = ink.value_or(platform::Rect{{x, top}, {1, 1}});
    if (secretInk) line.secretBox = *secretInk;
    screen_.lines.push_back(std::move(line));
  }

 private:
  CorpusScreen& screen_;
  cairo_surface_t* surface_;
  cairo_t* cr_;
  cairo_font_options_t* options_;
};

enum class WindowKind { editor, chat, mail, spreadsheet, form, document, korean };

// Fills one window with its kind's content: secrets of every kind and plain lines.
class WindowWriter {
 public:
  WindowWriter(ScreenPainter& painter, std::mt19937& random, const Fonts& fonts, bool dark,
               int size)
      : painter_(painter),
        random_(random),
        secrets_(random),
        fonts_(fonts),
        dark_(dark),
        size_(size) {}

  void write(WindowKind kind, const platform::Rect& window) {
    const Theme& t = theme(dark_);
    painter_.fill(window, t.background);
    const double titleHeight = 28;
    painter_.fill({window.origin, {window.width(), titleHeight}}, t.chrome);
    painter_.write(window.minX() + 12, window.minY() + 7, fonts_.sans, 13, {{title(kind), t.text}},
                   std::nullopt, false);
    painter_.frame(window, t.muted);
    platform::Rect content{{window.minX() + 1, window.minY() + titleHeight},
                           {window.width() - 2, window.height() - titleHeight - 1}};
    const double pitch = size_ * 1.9;
    double left = content.minX() + 14;
    const char* family = fonts_.sans;
    if (kind == WindowKind::editor) {
      // A gutter of line numbers, darker than the text area.
      const double gutter = size_ * 3.2;
      painter_.fill({content.origin, {gutter, content.height()}}, t.chrome);
      left = content.minX() + gutter + 10;
      family = fonts_.mono;
    }
    if (kind == WindowKind::document || kind == WindowKind::mail) family = fonts_.serif;
    if (kind == WindowKind::korean) family = kKoreanFont;
    int row = 0;
    const int rows = static_cast<int>((content.height() - 10) / pitch);
    int kindIndex = static_cast<int>(random_() % 5);
    for (double top = content.minY() + 8; row < rows; ++row, top += pitch) {
      if (kind == WindowKind::editor) {
        painter_.write(content.minX() + 6, top, fonts_.mono, size_,
                       {{std::to_string(row + 1), t.muted}}, std::nullopt, false);
      }
      const bool secretRow = row % 3 == 1;
      if (kind == WindowKind::spreadsheet) {
        writeSpreadsheetRow(content, top, pitch, family, secretRow ? &kindIndex : nullptr);
        continue;
      }
      if (kind == WindowKind::form && row % 2 == 1) {
        // An input box, bordered, holding the value.
        painter_.fill({{left - 4, top - 3}, {content.width() * 0.6, size_ * 1.5}}, t.field);
        painter_.frame({{left - 4, top - 3}, {content.width() * 0.6, size_ * 1.5}}, t.muted);
      }
      if (secretRow) {
        writeSecretLine(kind, left, top, family, kindOf(kindIndex++));
      } else {
        writePlainLine(kind, left, top, family);
      }
    }
  }

 private:
  static const char* title(WindowKind kind) {
    switch (kind) {
      case WindowKind::editor:
        return "config.py - Editor";
      case WindowKind::chat:
        return "Team chat";
      case WindowKind::mail:
        return "Inbox - Mail";
      case WindowKind::spreadsheet:
        return "Q3 forecast.ods";
      case WindowKind::form:
        return "Account settings";
      case WindowKind::document:
        return "Notes.odt";
      case WindowKind::korean:
        return "Messages";
    }
    return "";
  }

  static model::SensitiveKind kindOf(int index) {
    using K = model::SensitiveKind;
    static const K kinds[] = {K::apiKey, K::email, K::phoneNumber, K::revenue, K::internalURL};
    return kinds[index % 5];
  }

  void writeSecretLine(WindowKind kind, double left, double top, const char* family,
                       model::SensitiveKind secretKind) {
    const Theme& t = theme(dark_);
    auto [secret, lead] = secrets_.make(secretKind);
    if (kind == WindowKind::editor) {
      painter_.write(left, top, family, size_,
                     {{"value", t.text},
                      {" = ", t.keyword},
                      {"\"", t.string},
                      {secret, t.string, true},
                      {"\"", t.string}},
                     secretKind, false);
      return;
    }
    if (kind == WindowKind::chat) lead = secrets_.pick({"Nina: ", "Me: ", "Tom: "}) + lead;
    if (kind == WindowKind::korean) lead = secrets_.pick({"연락처 ", "담당자 ", "참고 "});
    painter_.write(left, top, family, size_, {{lead, t.text}, {secret, t.text, true}}, secretKind,
                   false);
  }

  void writePlainLine(WindowKind kind, double left, double top, const char* family) {
    const Theme& t = theme(dark_);
    if (kind == WindowKind::editor) {
      painter_.write(
          left, top, family, size_,
          {{secrets_.pick({"def ", "if ", "return ", "for "}), t.keyword},
           {secrets_.pick({"load_settings(path):", "count > limit:", "items:", "name in names:"}),
            t.text}},
          std::nullopt, true);
      return;
    }
    const auto& lines = kind == WindowKind::korean ? koreanPlainLines() : plainLines();
    painter_.write(left, top, family, size_, {{secrets_.pick(lines), t.text}}, std::nullopt, true);
  }

  void writeSpreadsheetRow(const platform::Rect& content, double top, double pitch,
                           const char* family, int* secretKindIndex) {
    const Theme& t = theme(dark_);
    const double cell = content.width() / 3;
    painter_.fill({{content.minX(), top + pitch - 4}, {content.width(), 1}}, t.muted);
    for (int column = 1; column < 3; ++column)
      painter_.fill({{content.minX() + column * cell, top - 6}, {1, pitch}}, t.muted);
    // The cells of a row holding a secret are one line to a reader, so not plain lines.
    const bool plain = secretKindIndex == nullptr;
    painter_.write(content.minX() + 8, top, family, size_,
                   {{secrets_.pick({"North", "South", "East", "West"}), t.text}}, std::nullopt,
                   plain);
    if (secretKindIndex) {
      const auto kind = (*secretKindIndex)++ % 2 == 0 ? model::SensitiveKind::revenue
                                                      : model::SensitiveKind::phoneNumber;
      const auto [secret, lead] = secrets_.make(kind);
      painter_.write(content.minX() + cell + 8, top, family, size_, {{secret, t.text, true}}, kind,
                     false);
    } else {
      painter_.write(content.minX() + cell + 8, top, family, size_,
                     {{std::to_string(random_() % 900 + 100) + " units", t.text}}, std::nullopt,
                     true);
    }
    painter_.write(content.minX() + 2 * cell + 8, top, family, size_,
                   {{secrets_.pick({"on track", "at risk", "done"}), t.text}}, std::nullopt, plain);
  }

  ScreenPainter& painter_;
  std::mt19937& random_;
  SecretMaker secrets_;
  const Fonts& fonts_;
  bool dark_;
  int size_;
};

}  // namespace screen_corpus_detail

// One window of a screen: what it shows, on which background and at which size.
struct WindowPlan {
  screen_corpus_detail::WindowKind kind;
  bool dark = false;
  int size = 14;
};

// A 1920×1080 desktop with two tiled windows under a bar, or one 960×640 window, written with
// `random` in `rendering` and `fonts`, the windows' areas carried with the pixels.
inline CorpusScreen paintedScreen(std::mt19937& random,
                                  const screen_corpus_detail::Rendering& rendering,
                                  const screen_corpus_detail::Fonts& fonts,
                                  const std::vector<WindowPlan>& plans) {
  using namespace screen_corpus_detail;
  const bool desktop = plans.size() == 2;
  CorpusScreen screen;
  screen.image =
      std::make_shared<platform::PixelBuffer>(desktop ? 1920 : 960, desktop ? 1080 : 640);
  ScreenPainter painter(screen, rendering);
  const double desk[3] = {0.23, 0.33, 0.45};
  painter.fill({{0, 0}, {double(screen.image->width()), double(screen.image->height())}}, desk);
  if (desktop) {
    screen.windows = {platform::Rect{{0, 32}, {960, 1048}}, platform::Rect{{960, 32}, {960, 1048}}};
    const double bar[3] = {0.1, 0.1, 0.1};
    painter.fill({{0, 0}, {1920, 32}}, bar);
  } else {
    screen.windows = {platform::Rect{{0, 0}, {960, 640}}};
  }
  screen.label = std::string(rendering.name) + " " + fonts.sans;
  for (std::size_t w = 0; w < screen.windows.size(); ++w) {
    const WindowPlan& plan = plans[w];
    WindowWriter(painter, random, fonts, plan.dark, plan.size).write(plan.kind, screen.windows[w]);
    screen.label +=
        std::string(plan.dark ? " dark" : " light") + "/" + std::to_string(plan.size) + "px";
  }
  // The windows travel with the pixels, as the capture hands them over.
  platform::WindowAreas areas;
  for (const platform::Rect& window : screen.windows) {
    areas.push_back({{static_cast<int>(window.minX()), static_cast<int>(window.minY()),
                      static_cast<int>(window.width()), static_cast<int>(window.height())}});
  }
  screen.image->setWindowAreas(std::move(areas));
  return screen;
}

// Screen `index` of the corpus (any index gives a screen; the corpus is the first `count`).
// Even indices are full 1920×1080 desktops with two tiled windows, one dark and one light half
// the time; odd ones are single 960×640 windows.
inline CorpusScreen corpusScreen(int index) {
  using namespace screen_corpus_detail;
  std::mt19937 random(static_cast<std::uint32_t>(1000 + index));
  static const int sizes[] = {10, 11, 12, 14, 16, 18, 20, 24};
  static const WindowKind kinds[] = {
      WindowKind::editor, WindowKind::chat,     WindowKind::mail,  WindowKind::spreadsheet,
      WindowKind::form,   WindowKind::document, WindowKind::korean};
  const Rendering& rendering = renderings()[static_cast<std::size_t>(index) % renderings().size()];
  const Fonts& fonts = fontSets()[static_cast<std::size_t>(index / 2) % fontSets().size()];
  std::vector<WindowPlan> plans;
  for (std::size_t w = 0; w < (index % 2 == 0 ? 2u : 1u); ++w) {
    plans.push_back({kinds[(static_cast<std::size_t>(index) + w * 3) % std::size(kinds)],
                     (index / 2 + static_cast<int>(w)) % 2 == 1,
                     sizes[(static_cast<std::size_t>(index) * 3 + w * 5) % std::size(sizes)]});
  }
  return paintedScreen(random, rendering, fonts, plans);
}

// A 1080p desktop of two windows of one family side by side, one light and one dark, at `size`.
inline CorpusScreen oneFamilyDesktop(screen_corpus_detail::WindowKind kind, int size) {
  std::mt19937 random(2000 + static_cast<std::uint32_t>(kind));
  return paintedScreen(random, screen_corpus_detail::renderings()[0],
                       screen_corpus_detail::fontSets()[0],
                       {{kind, false, size}, {kind, true, size}});
}

// `screen` as a capture that did not say which windows it drew hands it over: the same pixels,
// without the window areas the frame carried.
inline CorpusScreen withoutWindowAreas(const CorpusScreen& screen) {
  CorpusScreen bare = screen;
  bare.image =
      std::make_shared<platform::PixelBuffer>(screen.image->width(), screen.image->height());
  std::memcpy(bare.image->mutableData(), screen.image->data(), screen.image->byteCount());
  return bare;
}

// The masks a frame is published with: the analysis's covers as the verification engine merges
// them before it hands the frame over, over the pixels the compositor paints (each a little
// larger than its cover). Scores judge these, not the analysis's own list.
struct PublishedMask {
  platform::Rect pixels;  // top left
  std::string title;
};
inline std::vector<PublishedMask> publishedMasks(const model::ProtectedFrameAnalysisResult& result,
                                                 const platform::PixelBuffer& image) {
  // Merged as a first verified frame is, within the frame's windows: with the source masks (none
  // here), then with the covers carried forward (none either).
  const auto windows = verification::ProtectedAnalysisRegionPlanner::windowRegions(&image);
  const std::vector<model::ProtectedRedaction> none;
  const auto merged = verification::coalesced(
      verification::coalesced(result.redactions, none, windows), none, windows);
  const int width = image.width(), height = image.height();
  std::vector<PublishedMask> masks;
  for (const auto& redaction : merged) {
    const auto painted = verification::maskPixelRect(redaction.normalizedFrame, width, height);
    if (!painted) continue;
    masks.push_back({{{double(painted->x), double(painted->y)},
                      {double(painted->width), double(painted->height)}},
                     redaction.title});
  }
  return masks;
}

struct ScreenScore {
  struct Tally {
    int total = 0;
    int masked = 0;
    double percent() const { return total ? 100.0 * masked / total : 100.0; }
  };
  std::map<model::SensitiveKind, Tally> byKind;
  std::map<int, Tally> bySize;
  Tally secrets;
  Tally plainLines;
  Tally koreanPlainLines;  // those of `plainLines` written in Hangul
  int spillingMasks = 0;
  std::vector<std::string> missed;
  std::vector<std::string> falselyMasked;

  void add(const ScreenScore& other) {
    for (const auto& [kind, tally] : other.byKind) {
      byKind[kind].total += tally.total;
      byKind[kind].masked += tally.masked;
    }
    for (const auto& [size, tally] : other.bySize) {
      bySize[size].total += tally.total;
      bySize[size].masked += tally.masked;
    }
    secrets.total += other.secrets.total;
    secrets.masked += other.secrets.masked;
    for (auto [into, from] : {std::pair{&plainLines, &other.plainLines},
                              std::pair{&koreanPlainLines, &other.koreanPlainLines}}) {
      into->total += from->total;
      into->masked += from->masked;
    }
    spillingMasks += other.spillingMasks;
    missed.insert(missed.end(), other.missed.begin(), other.missed.end());
    falselyMasked.insert(falselyMasked.end(), other.falselyMasked.begin(),
                         other.falselyMasked.end());
  }
  Tally sizes(int low, int high) const {
    Tally sum;
    for (const auto& [size, tally] : bySize) {
      if (size < low || size > high) continue;
      sum.total += tally.total;
      sum.masked += tally.masked;
    }
    return sum;
  }
};

// What one analysis did on one screen, as the published frame shows it. A secret is masked when
// masks cover nine tenths of its box; a plain line is masked when masks cover a fifth of its text
// box. A mask spills when it reaches more than a little beyond the window that holds its centre.
inline ScreenScore scoreScreen(const CorpusScreen& screen,
                               const model::ProtectedFrameAnalysisResult& result) {
  const auto masks = publishedMasks(result, *screen.image);
  auto coveredShare = [&](const platform::Rect& box) {
    constexpr int kColumns = 24, kRows = 4;
    int covered = 0;
    for (int i = 0; i < kColumns; ++i) {
      for (int j = 0; j < kRows; ++j) {
        const platform::Point p{box.minX() + box.width() * (i + 0.5) / kColumns,
                                box.minY() + box.height() * (j + 0.5) / kRows};
        covered += std::any_of(masks.begin(), masks.end(),
                               [&](const PublishedMask& mask) { return mask.pixels.contains(p); });
      }
    }
    return static_cast<double>(covered) / (kColumns * kRows);
  };
  ScreenScore score;
  for (const ScreenLine& line : screen.lines) {
    if (line.secret) {
      const bool masked = coveredShare(line.secretBox) >= 0.9;
      for (auto* tally :
           {&score.secrets, &score.byKind[*line.secret], &score.bySize[line.pixelSize]}) {
        ++tally->total;
        tally->masked += masked;
      }
      if (!masked)
        score.missed.push_back(line.text + " (" + std::to_string(line.pixelSize) + " px, " +
                               screen.label + ")");
    } else if (line.plain) {
      const bool masked = coveredShare(line.textBox) >= 0.2;
      const bool hangul = std::any_of(line.text.begin(), line.text.end(),
                                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
      for (auto* tally : {&score.plainLines, hangul ? &score.koreanPlainLines : nullptr}) {
        if (!tally) continue;
        ++tally->total;
        tally->masked += masked;
      }
      if (!masked) continue;
      std::string by;
      for (const auto& mask : masks) {
        if (mask.pixels.intersects(line.textBox))
          by += " [" + mask.title + " " + std::to_string(int(mask.pixels.width())) + "x" +
                std::to_string(int(mask.pixels.height())) + " at " +
                std::to_string(int(mask.pixels.minX())) + "," +
                std::to_string(int(mask.pixels.minY())) + "]";
      }
      score.falselyMasked.push_back(line.text + " (" + screen.label + ", text at " +
                                    std::to_string(int(line.textBox.minX())) + "," +
                                    std::to_string(int(line.textBox.minY())) + " " +
                                    std::to_string(int(line.textBox.width())) + "x" +
                                    std::to_string(int(line.textBox.height())) + ")" + by);
    }
  }
  for (const auto& mask : masks) {
    const platform::Rect& pixels = mask.pixels;
    const platform::Point centre{pixels.minX() + pixels.width() / 2,
                                 pixels.minY() + pixels.height() / 2};
    for (const platform::Rect& window : screen.windows) {
      if (!window.contains(centre)) continue;
      // The mask's own margins may reach past the window's edge.
      constexpr double dx = verification::kMaskGrowX, dy = verification::kMaskGrowY;
      const platform::Rect reach{{window.minX() - dx, window.minY() - dy},
                                 {window.width() + 2 * dx, window.height() + 2 * dy}};
      const platform::Rect inside = pixels.intersection(reach);
      if (inside.width() * inside.height() < 0.9 * pixels.width() * pixels.height())
        ++score.spillingMasks;
      break;
    }
  }
  return score;
}

}  // namespace corvane::testing
