#pragma once

#include <nlohmann/json.hpp>

#include "platform/geometry.h"

// JSON forms of the geometry values used in the model: a size is [width, height], a point
// [x, y] and a rectangle [[x, y], [width, height]].
namespace nlohmann {

template <>
struct adl_serializer<corvane::platform::Point> {
  static void to_json(json& j, const corvane::platform::Point& p) { j = json::array({p.x, p.y}); }
  static void from_json(const json& j, corvane::platform::Point& p) {
    if (!j.is_array() || j.size() != 2) throw std::invalid_argument("point must be [x, y]");
    p = {j.at(0).get<double>(), j.at(1).get<double>()};
  }
};

template <>
struct adl_serializer<corvane::platform::Size> {
  static void to_json(json& j, const corvane::platform::Size& s) {
    j = json::array({s.width, s.height});
  }
  static void from_json(const json& j, corvane::platform::Size& s) {
    if (!j.is_array() || j.size() != 2) throw std::invalid_argument("size must be [w, h]");
    s = {j.at(0).get<double>(), j.at(1).get<double>()};
  }
};

template <>
struct adl_serializer<corvane::platform::Rect> {
  static void to_json(json& j, const corvane::platform::Rect& r) {
    j = json::array({json(r.origin), json(r.size)});
  }
  static void from_json(const json& j, corvane::platform::Rect& r) {
    if (!j.is_array() || j.size() != 2) throw std::invalid_argument("rect must be [[x,y],[w,h]]");
    r = {j.at(0).get<corvane::platform::Point>(), j.at(1).get<corvane::platform::Size>()};
  }
};

}  // namespace nlohmann
