#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace corvane::model {

// A 128-bit identifier: random (version 4) when made fresh, written in the usual uppercase
// 8-4-4-4-12 form.
class Uuid {
 public:
  // The nil identifier (all zero); fresh identifiers come from random().
  Uuid() = default;
  explicit Uuid(const std::array<std::uint8_t, 16>& bytes) : bytes_(bytes) {}

  static Uuid random();
  // Accepts upper- or lowercase hexadecimal in the 8-4-4-4-12 form.
  static std::optional<Uuid> parse(std::string_view text);

  std::string string() const;
  const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }
  bool isNil() const;

  auto operator<=>(const Uuid&) const = default;

 private:
  std::array<std::uint8_t, 16> bytes_{};
};

void to_json(nlohmann::json& json, const Uuid& uuid);
void from_json(const nlohmann::json& json, Uuid& uuid);

}  // namespace corvane::model

template <>
struct std::hash<corvane::model::Uuid> {
  std::size_t operator()(const corvane::model::Uuid& uuid) const noexcept;
};
