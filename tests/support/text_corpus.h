#pragma once

// Lines of text rendered with Cairo at test time: planted secrets of every kind beside benign
// look-alikes, at the sizes and in the themes a shared screen shows.

#include <cairo.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

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
// size, dark on white or light on a dark grey.
inline RenderedCorpus renderCorpus(const std::vector<CorpusLine>& lines, double pixelSize,
                                   bool dark, int width = 1000) {
  const int pitch = static_cast<int>(pixelSize * 2);
  const int height = pitch * static_cast<int>(lines.size()) + pitch;
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
    const double top = pitch / 2.0 + static_cast<double>(i) * pitch;
    cairo_move_to(cr, 16, top + pitch / 2.0 + pixelSize * 0.35);
    cairo_show_text(cr, lines[i].text.c_str());
    corpus.bands.push_back(
        platform::Rect{{0, top / height}, {1, static_cast<double>(pitch) / height}});
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  return corpus;
}

}  // namespace corvane::testing
