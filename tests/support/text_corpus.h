#pragma once

// Lines of text rendered with Cairo at test time: planted secrets of every kind beside benign
// look-alikes, at the sizes and in the themes a shared screen shows.

#include <cairo.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/protected_frame_analysis_result.h"
#include "model/sensitive_content.h"
#include "platform/geometry.h"
#include "platform/pixel_buffer.h"

namespace corvane::testing {

struct CorpusLine {
  std::string text;
  // The kind the rules must find on the line; none: nothing may be masked there.
  std::optional<model::SensitiveKind> secret;
};

// Words the corpus's customer line is hidden by.
inline const std::vector<std::string> kCorpusAlwaysHideWords = {"Globex"};

inline std::vector<CorpusLine> secretLines() {
  using K = model::SensitiveKind;
  return {
      {"Deploy key sk-live4f9a8b7c6d5e3f2a", K::apiKey},
      {"Contact maria.lopez@northwind.com today", K::email},
      {"Call +1 415-555-0134 after lunch", K::phoneNumber},
      {"Q3 closed at $482,000 ARR", K::revenue},
      {"Open https://admin.northwind.io/billing", K::internalURL},
      {"Renewal for Globex Industries", K::customer},
      {"AWS id AKIAJ7QW3RXP5TZK2M", K::apiKey},
      {"Escalations go to ops-team@contoso.org", K::email},
      {"Hotline (212) 555-0187", K::phoneNumber},
      {"Token ghp_R4ndT0kenV4lue9xQ", K::apiKey},
  };
}

inline std::vector<CorpusLine> benignLines() {
  return {
      {"Meeting notes for the weekly sync", {}}, {"Version 2.14 released last Tuesday", {}},
      {"Skills: design, research, writing", {}}, {"Email the team about the launch", {}},
      {"Internal wiki pages were updated", {}},  {"Order 48213 shipped on Monday", {}},
      {"Price starts at 12 dollars a seat", {}}, {"The admin panel moved to settings", {}},
      {"Key dates are May 3 and June 14", {}},   {"Call the front desk at noon", {}},
      {"Budget review moved to Friday", {}},     {"Welcome back, have a great week", {}},
  };
}

// The benign lines `times` over: a long page without secrets.
inline std::vector<CorpusLine> manyBenignLines(int times) {
  std::vector<CorpusLine> lines;
  for (int i = 0; i < times; ++i) {
    for (const auto& line : benignLines()) lines.push_back(line);
  }
  return lines;
}

// Secrets and benign lines interleaved.
inline std::vector<CorpusLine> corpusLines() {
  std::vector<CorpusLine> lines;
  const auto secrets = secretLines();
  const auto benign = benignLines();
  for (std::size_t i = 0; i < std::max(secrets.size(), benign.size()); ++i) {
    if (i < benign.size()) lines.push_back(benign[i]);
    if (i < secrets.size()) lines.push_back(secrets[i]);
  }
  return lines;
}

struct RenderedCorpus {
  std::shared_ptr<platform::PixelBuffer> image;
  std::vector<CorpusLine> lines;
  // Each line's band, normalised with the origin at the top left.
  std::vector<platform::Rect> bands;
};

// The lines in DejaVu Sans at `pixelSize`, one under another with a line pitch of twice the
// size, dark on white or light on a dark grey; in `columns` side by side, filled one after
// another.
inline RenderedCorpus renderCorpus(const std::vector<CorpusLine>& lines, double pixelSize,
                                   bool dark, int width = 1000, int columns = 1) {
  const int pitch = static_cast<int>(pixelSize * 2);
  const int rows = (static_cast<int>(lines.size()) + columns - 1) / columns;
  const int height = pitch * rows + pitch;
  RenderedCorpus corpus{std::make_shared<platform::PixelBuffer>(width, height), lines, {}};
  cairo_surface_t* surface = cairo_image_surface_create_for_data(
      corpus.image->mutableData(), CAIRO_FORMAT_ARGB32, width, height, corpus.image->bytesPerRow());
  cairo_t* cr = cairo_create(surface);
  if (dark) {
    cairo_set_source_rgb(cr, 0.12, 0.12, 0.14);
  } else {
    cairo_set_source_rgb(cr, 1, 1, 1);
  }
  cairo_paint(cr);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, pixelSize);
  if (dark) {
    cairo_set_source_rgb(cr, 0.9, 0.9, 0.9);
  } else {
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int column = static_cast<int>(i) / rows;
    const double left = static_cast<double>(column) * width / columns;
    const double top = pitch / 2.0 + static_cast<double>(static_cast<int>(i) % rows) * pitch;
    cairo_move_to(cr, left + 16, top + pitch / 2.0 + pixelSize * 0.35);
    cairo_show_text(cr, lines[i].text.c_str());
    corpus.bands.push_back(platform::Rect{{left / width, top / height},
                                          {1.0 / columns, static_cast<double>(pitch) / height}});
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  return corpus;
}

struct CorpusScore {
  int secrets = 0;
  int found = 0;
  int benign = 0;
  int falseMasks = 0;
  std::vector<std::string> missed;
};

// A secret line counts as found when an item of its kind lies on it (its centre inside the
// line's band); a benign line is falsely masked when any item lies on it.
inline CorpusScore scoreCorpus(const RenderedCorpus& corpus,
                               const model::ProtectedFrameAnalysisResult& result) {
  CorpusScore score;
  for (std::size_t i = 0; i < corpus.lines.size(); ++i) {
    const platform::Rect& band = corpus.bands[i];
    bool masked = false;
    bool found = false;
    for (const model::DetectedItem& item : result.detectedItems) {
      if (!item.screenFrame) continue;
      const platform::Rect& frame = *item.screenFrame;
      if (!band.contains({frame.minX() + frame.width() / 2, frame.minY() + frame.height() / 2})) {
        continue;
      }
      masked = true;
      found = found || item.kind == corpus.lines[i].secret;
    }
    if (corpus.lines[i].secret) {
      ++score.secrets;
      if (found) {
        ++score.found;
      } else {
        score.missed.push_back(corpus.lines[i].text);
      }
    } else {
      ++score.benign;
      if (masked) ++score.falseMasks;
    }
  }
  return score;
}

}  // namespace corvane::testing
