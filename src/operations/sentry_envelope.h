#pragma once

#include <optional>
#include <string>

#include "operations/crash_report.h"
#include "runtime/clock.h"

namespace corvane::operations {

// Where crash reports go: https://<publicKey>@<host>[:port]/<projectID>.
struct SentryEnvelopeDSN {
  std::string original;
  std::string publicKey;
  std::string scheme;
  std::string host;
  std::string projectID;
  // Kept so a self-hosted endpoint on another port is reached where it listens.
  std::optional<int> port;

  // Nothing unless the scheme is exactly "https" and there is a host, a non-empty user part and a
  // path below the root.
  static std::optional<SentryEnvelopeDSN> parse(const std::string& url);

  // https://host[:port]/api/<projectID>/envelope/?sentry_key=…&sentry_version=7&sentry_client=…
  std::string envelopeURL() const;

  bool operator==(const SentryEnvelopeDSN&) const = default;
};

// One crash report as an envelope: the envelope header, the item header and the event, each a
// line of compact JSON.
struct SentryEnvelope {
  CrashReport report;
  SentryEnvelopeDSN dsn;

  std::string data(runtime::WallTime sentAt) const;
};

}  // namespace corvane::operations
