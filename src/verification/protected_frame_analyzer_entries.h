#pragma once

#include <string>

#include "model/detected_item.h"
#include "model/protected_redaction.h"

namespace corvane::verification {

// The covered boxes and items the analyzer makes itself, beside the rules' findings.
enum class AnalyzerEntryCause {
  uncoveredText,  // detection saw text that recognition did not read
  visualChangeWithoutText,
  suspiciousStructuredText,
  recognizedText,  // any line, when all recognised text is masked
};

struct AnalyzerEntry {
  model::DetectedItem item;
  model::ProtectedRedaction redaction;
};

AnalyzerEntry analyzerEntry(AnalyzerEntryCause cause, const platform::Rect& frame,
                            double confidence = 1.0);

// The covered box of a rule finding: the whole line.
model::ProtectedRedaction findingRedaction(const model::DetectedItem& finding,
                                           const platform::Rect& lineFrame);

}  // namespace corvane::verification
