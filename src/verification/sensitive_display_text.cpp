#include "verification/sensitive_display_text.h"

#include <algorithm>
#include <array>

#include "verification/icu_regex.h"
#include "verification/unicode_text.h"

namespace corvane::verification {
namespace {

using model::SensitiveKind;

const icu::UnicodeString kFourBullets = bulletRun(4);

// Short matches show nothing of themselves: max(n, 3) bullets.
icu::UnicodeString allBullets(int32_t characters) {
  return bulletRun(std::max(characters, 3));
}

icu::UnicodeString maskedAround(const icu::UnicodeString& text, int32_t minimumLength,
                                int32_t leading, int32_t trailing) {
  const GraphemeClusters characters(text);
  if (characters.count() < minimumLength) return allBullets(characters.count());
  return characters.first(leading) + kFourBullets + characters.last(trailing);
}

const icu::RegexPattern* hostAfterScheme() {
  static const std::shared_ptr<const icu::RegexPattern> pattern = compileRegex(u"(?<=://)[^/]+");
  return pattern.get();
}

}  // namespace

icu::UnicodeString bulletRun(int32_t count) {
  icu::UnicodeString run;
  for (int32_t i = 0; i < count; ++i) run.append(kMaskBullet);
  return run;
}

icu::UnicodeString maskedEmail(const icu::UnicodeString& address) {
  const int32_t at = address.indexOf(u'@');
  if (at < 0) return allBullets(graphemeCount(address));
  const icu::UnicodeString local(address, 0, at);
  const icu::UnicodeString domain(address, at + 1);

  const GraphemeClusters localCharacters(local);
  icu::UnicodeString masked =
      localCharacters.count() > 2 ? localCharacters.first(2) + kFourBullets : bulletRun(3);
  masked.append(u'@');
  const GraphemeClusters domainCharacters(domain);
  masked.append(domainCharacters.count() >= 6
                    ? domainCharacters.first(1) + kFourBullets + domainCharacters.last(4)
                    : allBullets(domainCharacters.count()));
  return masked;
}

icu::UnicodeString maskedApiKey(const icu::UnicodeString& key) {
  static const std::array<icu::UnicodeString, 4> prefixes = {u"sk-", u"ghp_", u"akia", u"bearer"};
  icu::UnicodeString prefix;
  icu::UnicodeString body = key;
  const icu::UnicodeString lower = lowercased(key);
  for (const icu::UnicodeString& known : prefixes) {
    if (!lower.startsWith(known)) continue;
    prefix = icu::UnicodeString(key, 0, known.length());
    body = icu::UnicodeString(key, known.length());
    if (known == u"bearer") {
      body = trimmedWhitespace(body);
      prefix.append(u' ');
    }
    break;
  }
  // A third of the body at most, and never more than four characters.
  const GraphemeClusters bodyCharacters(body);
  const int32_t shown = std::min(4, bodyCharacters.count() / 3);
  return prefix + kFourBullets + (shown > 0 ? bodyCharacters.last(shown) : icu::UnicodeString());
}

icu::UnicodeString maskedInternalURL(const icu::UnicodeString& url) {
  icu::UnicodeString withoutQuery = url;
  for (const char16_t cut : {u'?', u'#'}) {
    const int32_t index = withoutQuery.indexOf(cut);
    if (index >= 0) withoutQuery.truncate(index);
  }
  static const icu::UnicodeString replacementHost = u"internal.example";
  if (withoutQuery.indexOf(u"://") < 0) {
    const int32_t slash = withoutQuery.indexOf(u'/');
    return replacementHost + (slash >= 0 ? icu::UnicodeString(withoutQuery, slash) : u"");
  }
  const icu::RegexPattern* pattern = hostAfterScheme();
  if (pattern == nullptr) return replacementHost;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(withoutQuery, status));
  if (U_FAILURE(status)) return replacementHost;
  icu::UnicodeString replaced = matcher->replaceAll(replacementHost, status);
  return U_SUCCESS(status) ? replaced : replacementHost;
}

icu::UnicodeString maskedWord(const icu::UnicodeString& word) {
  return GraphemeClusters(word).first(2) + kFourBullets;
}

icu::UnicodeString maskedDisplayText(SensitiveKind kind, const icu::UnicodeString& match) {
  switch (kind) {
    case SensitiveKind::apiKey:
      return maskedApiKey(match);
    case SensitiveKind::email:
      return maskedEmail(match);
    case SensitiveKind::phoneNumber:
      return maskedAround(match, 6, 3, 2);
    case SensitiveKind::revenue:
      return maskedAround(match, 5, 1, 3);
    case SensitiveKind::internalURL:
      return maskedInternalURL(match);
    case SensitiveKind::customer:
      return maskedWord(match);
  }
  return allBullets(graphemeCount(match));
}

}  // namespace corvane::verification
