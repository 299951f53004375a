#pragma once

#include <array>
#include <optional>

#include "model/enum_coding.h"

namespace corvane::verification {

// The outcome of looking for the expected source masks in one captured frame.
struct SourceOverlayVerificationResult {
  enum class Failure {
    bitmapUnavailable,  // the captured frame cannot be read as pixels
    cellTooSmall,       // a mask is smaller than 3 pixels in the capture
    maskBodyMismatch,   // too few of a mask's sample points show the mask's colours
  };

  bool isVerified = false;
  std::optional<Failure> failure;
  std::optional<int> failedRedactionIndex;
  std::optional<int> failedColumn;
  std::optional<int> failedRow;
  int matchingSamples = 0;
  int sampledPoints = 0;

  static SourceOverlayVerificationResult verified() { return {.isVerified = true}; }

  bool operator==(const SourceOverlayVerificationResult&) const = default;
};

}  // namespace corvane::verification

template <>
struct corvane::model::EnumCases<corvane::verification::SourceOverlayVerificationResult::Failure> {
  using Failure = corvane::verification::SourceOverlayVerificationResult::Failure;
  static constexpr std::array cases{
      EnumCase<Failure>{Failure::bitmapUnavailable, "bitmapUnavailable"},
      EnumCase<Failure>{Failure::cellTooSmall, "cellTooSmall"},
      EnumCase<Failure>{Failure::maskBodyMismatch, "maskBodyMismatch"},
  };
};
