#include "verification/icu_regex.h"

namespace corvane::verification {

std::shared_ptr<const icu::RegexPattern> compileRegex(const icu::UnicodeString& pattern,
                                                      uint32_t flags) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError;
  std::shared_ptr<const icu::RegexPattern> compiled(
      icu::RegexPattern::compile(pattern, flags, parseError, status));
  if (U_FAILURE(status)) return nullptr;
  return compiled;
}

}  // namespace corvane::verification
