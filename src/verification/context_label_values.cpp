#include "verification/context_label_values.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "verification/sensitivity_engine.h"
#include "verification/unicode_text.h"

namespace corvane::verification {

using platform::Rect;

namespace {

// A label is a few words; a sentence mentioning a token is no label.
constexpr int kMostLabelWords = 4;
constexpr int kMostValueWords = 3;
constexpr int kShortestValue = 4;
constexpr double kFarthestBesideInLineHeights = 12;
constexpr double kFarthestBelowInLineHeights = 2;
constexpr double kFarthestIndentInLineHeights = 4;

int wordCount(const std::string& text) {
  int words = 0;
  bool inWord = false;
  for (char c : text) {
    const bool space = c == ' ' || c == '\t';
    words += !space && !inWord;
    inWord = !space;
  }
  return words;
}

bool isCredentialLabel(const std::string& text) {
  if (wordCount(text) > kMostLabelWords) return false;
  const std::string lower = utf8(lowercased(utf16(text)));
  return std::any_of(std::begin(SensitivityEngine::kApiKeyContextWords),
                     std::end(SensitivityEngine::kApiKeyContextWords),
                     [&](const char* word) { return lower.find(word) != std::string::npos; });
}

// Whether a label line carries its own value after its context word ("ADMIN_PASSWORD=hunter2",
// "Password: hunter2"): a ":" or "=" with text after it. Such a line is judged on its own; the
// line below it is another field, not its value.
bool holdsOwnValue(const std::string& label) {
  const std::string lower = utf8(lowercased(utf16(label)));
  std::size_t wordEnd = std::string::npos;
  for (const char* word : SensitivityEngine::kApiKeyContextWords) {
    const std::size_t at = lower.find(word);
    if (at != std::string::npos) wordEnd = std::min(wordEnd, at + std::string_view(word).size());
  }
  if (wordEnd == std::string::npos) return false;
  const std::size_t separator = lower.find_first_of(":=", wordEnd);
  if (separator == std::string::npos) return false;
  return lower.find_first_not_of(" \t", separator + 1) != std::string::npos;
}

// A credential's value: one word, or a few holding a digit or a sign (a key read with spaces in
// it); words of letters alone are the label or the value of another field ("Display name").
bool isValue(const std::string& text) {
  const auto visible = std::count_if(text.begin(), text.end(), [](char c) { return c != ' '; });
  const bool notOnlyLetters = std::any_of(text.begin(), text.end(), [](char c) {
    return c != ' ' && !std::isalpha(static_cast<unsigned char>(c));
  });
  const int words = wordCount(text);
  return visible >= kShortestValue && (words == 1 || (words <= kMostValueWords && notOnlyLetters));
}

Rect inPixels(const Rect& r, double width, double height) {
  return Rect{{r.minX() * width, r.minY() * height}, {r.width() * width, r.height() * height}};
}

// How far `value` lies from `label` when it is beside or below it, in pixels; nothing when it is
// neither.
std::optional<double> distanceToValue(const Rect& label, const Rect& value) {
  const double lineHeight = std::max(1.0, label.height());
  const double middle = value.minY() + value.height() / 2;
  const bool sameRow = middle >= label.minY() && middle <= label.maxY();
  const double besideGap = value.minX() - label.maxX();
  if (sameRow && besideGap >= -lineHeight / 2 &&
      besideGap <= kFarthestBesideInLineHeights * lineHeight)
    return std::max(0.0, besideGap);
  const double belowGap = value.minY() - label.maxY();
  if (belowGap >= -lineHeight / 4 && belowGap <= kFarthestBelowInLineHeights * lineHeight &&
      std::abs(value.minX() - label.minX()) <= kFarthestIndentInLineHeights * lineHeight)
    return std::max(0.0, belowGap);
  return std::nullopt;
}

}  // namespace

std::vector<std::pair<std::size_t, std::size_t>> labelledValues(
    const std::vector<PlacedLine>& lines, double width, double height) {
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t l = 0; l < lines.size(); ++l) {
    if (!isCredentialLabel(lines[l].text) || holdsOwnValue(lines[l].text)) continue;
    const Rect label = inPixels(lines[l].frame, width, height);
    std::optional<std::size_t> nearest;
    double nearestDistance = std::numeric_limits<double>::max();
    for (std::size_t v = 0; v < lines.size(); ++v) {
      if (v == l || !isValue(lines[v].text) || isCredentialLabel(lines[v].text)) continue;
      const auto distance = distanceToValue(label, inPixels(lines[v].frame, width, height));
      if (distance && *distance < nearestDistance) {
        nearest = v;
        nearestDistance = *distance;
      }
    }
    if (nearest) pairs.emplace_back(l, *nearest);
  }
  return pairs;
}

}  // namespace corvane::verification
