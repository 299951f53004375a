#include "verification/hangul_misreading.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include <vector>

#include "verification/unicode_text.h"

namespace corvane::verification {
namespace {

bool isHangul(UChar32 c) {
  UErrorCode status = U_ZERO_ERROR;
  return uscript_getScript(c, &status) == USCRIPT_HANGUL;
}

std::vector<UChar32> codePoints(const std::string& text) {
  const icu::UnicodeString unicode = utf16(text);
  std::vector<UChar32> points;
  for (int32_t i = 0; i < unicode.length(); i = unicode.moveIndex32(i, 1))
    points.push_back(unicode.char32At(i));
  return points;
}

}  // namespace

bool holdsHangul(const std::string& text) {
  for (UChar32 c : codePoints(text))
    if (isHangul(c)) return true;
  return false;
}

bool liesOverHangul(const std::string& misreading, const std::string& match,
                    const std::string& hangulReading) {
  const std::size_t at = misreading.find(match);
  if (match.empty() || at == std::string::npos) return false;
  const double total = static_cast<double>(codePoints(misreading).size());
  const double from = static_cast<double>(codePoints(misreading.substr(0, at)).size()) / total;
  const double to = from + static_cast<double>(codePoints(match).size()) / total;
  const std::vector<UChar32> row = codePoints(hangulReading);
  double width = 0;
  for (UChar32 c : row) width += isHangul(c) ? 2 : 1;
  int hangul = 0, other = 0;
  double x = 0;
  for (UChar32 c : row) {
    const double advance = isHangul(c) ? 2 : 1;
    const double centre = (x + advance / 2) / width;
    x += advance;
    if (centre < from || centre > to || u_isUWhiteSpace(c)) continue;
    (isHangul(c) ? hangul : other) += 1;
  }
  return hangul > other;
}

}  // namespace corvane::verification
