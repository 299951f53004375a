#include "platform/text_cleaning.h"

namespace corvane::platform {
namespace {

bool isSpaceOrControl(unsigned char c) {
  return c <= 0x20 || c == 0x7F;
}

}  // namespace

std::string trimmedText(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && isSpaceOrControl(static_cast<unsigned char>(text[first]))) ++first;
  std::size_t last = text.size();
  while (last > first && isSpaceOrControl(static_cast<unsigned char>(text[last - 1]))) --last;
  return std::string(text.substr(first, last - first));
}

std::string singleLineText(std::string_view text) {
  std::string cleaned;
  bool pendingSpace = false;
  for (char c : trimmedText(text)) {
    if (isSpaceOrControl(static_cast<unsigned char>(c))) {
      pendingSpace = true;
      continue;
    }
    if (pendingSpace) cleaned.push_back(' ');
    pendingSpace = false;
    cleaned.push_back(c);
  }
  return cleaned;
}

}  // namespace corvane::platform
