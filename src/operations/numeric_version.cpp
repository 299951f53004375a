#include "operations/numeric_version.h"

namespace corvane::operations {
namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Compares two runs of digits by value, whatever their length or leading zeros.
int compareDigitRuns(std::string_view a, std::string_view b) {
  auto stripZeros = [](std::string_view run) {
    while (run.size() > 1 && run.front() == '0') run.remove_prefix(1);
    return run;
  };
  a = stripZeros(a);
  b = stripZeros(b);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  const int order = a.compare(b);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

int compareVersionsNumerically(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      std::size_t endA = i;
      std::size_t endB = j;
      while (endA < a.size() && isDigit(a[endA])) ++endA;
      while (endB < b.size() && isDigit(b[endB])) ++endB;
      if (int order = compareDigitRuns(a.substr(i, endA - i), b.substr(j, endB - j)); order != 0) {
        return order;
      }
      i = endA;
      j = endB;
      continue;
    }
    if (a[i] != b[j]) {
      return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    }
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

}  // namespace corvane::operations
