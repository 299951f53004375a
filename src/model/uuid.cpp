#include "model/uuid.h"

#include <random>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace corvane::model {
namespace {

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isDashPosition(std::size_t index) {
  return index == 8 || index == 13 || index == 18 || index == 23;
}

}  // namespace

Uuid Uuid::random() {
  // One generator per thread, seeded from the system's entropy source.
  thread_local std::mt19937_64 generator([] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }());
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); i += 8) {
    std::uint64_t word = generator();
    for (std::size_t j = 0; j < 8; ++j) bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return Uuid(bytes);
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  std::array<std::uint8_t, 16> bytes{};
  std::size_t byteIndex = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (isDashPosition(i)) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    const int high = hexDigitValue(text[i]);
    const int low = hexDigitValue(text[i + 1]);
    if (high < 0 || low < 0 || isDashPosition(i + 1)) return std::nullopt;
    bytes[byteIndex++] = static_cast<std::uint8_t>(high * 16 + low);
    i += 2;
  }
  return Uuid(bytes);
}

std::string Uuid::string() const {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(36);
  for (std::size_t i = 0; i < bytes_.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    text.push_back(digits[bytes_[i] >> 4]);
    text.push_back(digits[bytes_[i] & 0x0F]);
  }
  return text;
}

bool Uuid::isNil() const {
  for (auto byte : bytes_) {
    if (byte != 0) return false;
  }
  return true;
}

void to_json(nlohmann::json& json, const Uuid& uuid) {
  json = uuid.string();
}

void from_json(const nlohmann::json& json, Uuid& uuid) {
  auto parsed = Uuid::parse(json.get<std::string>());
  if (!parsed) throw std::invalid_argument("not a UUID: " + json.dump());
  uuid = *parsed;
}

}  // namespace corvane::model

std::size_t std::hash<corvane::model::Uuid>::operator()(
    const corvane::model::Uuid& uuid) const noexcept {
  std::size_t hash = 1469598103934665603ull;
  for (auto byte : uuid.bytes()) hash = (hash ^ byte) * 1099511628211ull;
  return hash;
}
