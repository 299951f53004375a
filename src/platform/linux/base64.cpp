#include "platform/linux/base64.h"

#include <array>
#include <cstdint>

namespace corvane::platform {
namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> decodingTable() {
  std::array<int, 256> table{};
  for (auto& entry : table) entry = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(alphabet[i])] = i;
  return table;
}

bool isWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

std::string encodeBase64(const Value::Data& bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    text.push_back(alphabet[(group >> 18) & 63]);
    text.push_back(alphabet[(group >> 12) & 63]);
    text.push_back(alphabet[(group >> 6) & 63]);
    text.push_back(alphabet[group & 63]);
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t group = bytes[i] << 16;
    if (rest == 2) group |= bytes[i + 1] << 8;
    text.push_back(alphabet[(group >> 18) & 63]);
    text.push_back(alphabet[(group >> 12) & 63]);
    text.push_back(rest == 2 ? alphabet[(group >> 6) & 63] : '=');
    text.push_back('=');
  }
  return text;
}

std::optional<Value::Data> decodeBase64(std::string_view text) {
  static constexpr auto table = decodingTable();
  std::string symbols;
  symbols.reserve(text.size());
  for (char c : text) {
    if (!isWhitespace(c)) symbols.push_back(c);
  }
  if (symbols.size() % 4 != 0) return std::nullopt;
  Value::Data bytes;
  bytes.reserve(symbols.size() / 4 * 3);
  for (std::size_t i = 0; i < symbols.size(); i += 4) {
    const bool last = i + 4 == symbols.size();
    int padding = 0;
    std::uint32_t group = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const char c = symbols[i + j];
      if (c == '=') {
        // Padding only at the end of the last group, and never in its first two places.
        if (!last || j < 2) return std::nullopt;
        ++padding;
        group <<= 6;
        continue;
      }
      const int value = table[static_cast<unsigned char>(c)];
      if (value < 0 || padding > 0) return std::nullopt;
      group = (group << 6) | static_cast<std::uint32_t>(value);
    }
    bytes.push_back(static_cast<std::uint8_t>(group >> 16));
    if (padding < 2) bytes.push_back(static_cast<std::uint8_t>(group >> 8));
    if (padding < 1) bytes.push_back(static_cast<std::uint8_t>(group));
  }
  return bytes;
}

}  // namespace corvane::platform
