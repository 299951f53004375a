#pragma once

#include <unicode/unistr.h>

#include "model/sensitive_content.h"

namespace corvane::verification {

// U+2022 BULLET, the mask character.
inline constexpr char16_t kMaskBullet = u'\u2022';

// `count` bullets.
icu::UnicodeString bulletRun(int32_t count);

// What the user is shown of a matched piece of text: enough to recognise it, never enough to
// reuse it.
icu::UnicodeString maskedDisplayText(model::SensitiveKind kind, const icu::UnicodeString& match);

// "jo••••@e••••.com": the first two characters of the local part and the first and last four of
// the domain; short parts become bullets.
icu::UnicodeString maskedEmail(const icu::UnicodeString& address);

// The known prefix ("sk-", "ghp_", "Bearer ", "AKIA"), four bullets and at most the last four
// characters of the key, fewer for a short key so most of it stays hidden.
icu::UnicodeString maskedApiKey(const icu::UnicodeString& key);

// The URL with every host replaced by "internal.example" (also when it has no scheme) and
// without its query or fragment.
icu::UnicodeString maskedInternalURL(const icu::UnicodeString& url);

// An always-hide word: its first two characters and four bullets.
icu::UnicodeString maskedWord(const icu::UnicodeString& word);

}  // namespace corvane::verification
