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

bool isValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // over-long
      if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;   // over-long
      if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if (second < low || second > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

std::string joinedText(const std::vector<std::string>& items, std::string_view separator) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += separator;
    text += items[i];
  }
  return text;
}

}  // namespace corvane::platform
