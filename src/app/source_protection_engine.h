#pragma once

#include "verification/sensitivity_engine.h"

namespace corvane::app {

// Finds text on the screen for the sensitive-text engine; it keeps no state of its own.
struct ScreenTextScanner {};

// The screen-text scanner together with the sensitivity rules it is checked against. Made
// without arguments it holds a scanner, the built-in patterns and masking off.
struct SourceProtectionEngine {
  ScreenTextScanner scanner;
  verification::SensitivityEngine sensitivityEngine;
  bool isMaskingEnabled = false;
};

}  // namespace corvane::app
