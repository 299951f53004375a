// The update and crash-report paths that handle whole archives or many entries: the Ed25519 check
// over an archive (compared with a plain copy of the same bytes), the appcast parse and the
// envelope encoding.

#include <benchmark/benchmark.h>
#include <sodium.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "operations/appcast_parser.h"
#include "operations/sentry_envelope.h"
#include "operations/update_artifact_verifier.h"
#include "platform/signature_verifier.h"

namespace {

using namespace corvane;

std::string randomBytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::mt19937_64 generator(7);
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    const std::uint64_t word = generator();
    std::memcpy(bytes.data() + i, &word, 8);
  }
  return bytes;
}

std::string base64(const unsigned char* data, std::size_t size) {
  std::string out(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(out.data(), out.size(), data, size, sodium_base64_VARIANT_ORIGINAL);
  out.resize(out.find('\0'));
  return out;
}

void BM_VerifyArchiveSignature(benchmark::State& state) {
  (void)sodium_init();
  const std::string archive = randomBytes(static_cast<std::size_t>(state.range(0)) << 20);
  unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
  unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
  crypto_sign_keypair(publicKey, secretKey);
  unsigned char signature[crypto_sign_BYTES];
  crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(archive.data()),
                       archive.size(), secretKey);
  const std::string key = base64(publicKey, sizeof publicKey);
  const std::string signatureText = base64(signature, sizeof signature);
  auto verifier = platform::makeSignatureVerifier();
  for (auto _ : state) {
    const bool valid =
        operations::UpdateArtifactVerifier::verify(*verifier, archive, signatureText, key);
    if (!valid) state.SkipWithError("signature did not verify");
    benchmark::DoNotOptimize(valid);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * archive.size()));
}
BENCHMARK(BM_VerifyArchiveSignature)->Arg(16)->Arg(128)->Unit(benchmark::kMillisecond);

void BM_CopyArchiveBytes(benchmark::State& state) {
  const std::string archive = randomBytes(static_cast<std::size_t>(state.range(0)) << 20);
  std::string copy(archive.size(), '\0');
  for (auto _ : state) {
    std::memcpy(copy.data(), archive.data(), archive.size());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * archive.size()));
}
BENCHMARK(BM_CopyArchiveBytes)->Arg(16)->Arg(128)->Unit(benchmark::kMillisecond);

void BM_ParseAppcast(benchmark::State& state) {
  std::string feed =
      "<?xml version=\"1.0\"?><rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
      "sparkle\"><channel>";
  for (int i = 0; i < state.range(0); ++i) {
    feed += "<item><title>Build " + std::to_string(i) +
            "</title><description><![CDATA[<p>Notes</p>]]></description><enclosure "
            "sparkle:version=\"" +
            std::to_string(i) + "\" url=\"https://updates.example.com/Corvane-" +
            std::to_string(i) +
            ".zip\" sparkle:edSignature=\"7cLALFUHSwvEJWSkV8aMreoBe4fhRa4FncC5NoThKxwThL6FDR7hTi"
            "PJh1fo2uagnPogisnQsgFgq6mGkt2RBw==\" length=\"1\" type=\"application/zip\"/></item>";
  }
  feed += "</channel></rss>";
  for (auto _ : state) {
    auto entries = operations::AppcastParser::parse(feed);
    auto sorted = operations::sortedNewestFirst(std::move(entries).value());
    benchmark::DoNotOptimize(sorted.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * feed.size()));
}
BENCHMARK(BM_ParseAppcast)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_EnvelopeBody(benchmark::State& state) {
  auto dsn = operations::SentryEnvelopeDSN::parse("https://key@o1.ingest.example.com/42");
  operations::CrashReport report = operations::CrashReport::make(
      "std::runtime_error", "ledger/index out of range", runtime::WallTime(),
      operations::ApplicationIdentity{"2.4", "241", "Linux 6.1.0 x86_64"});
  for (auto _ : state) {
    benchmark::DoNotOptimize(operations::SentryEnvelope{report, *dsn}.data(runtime::WallTime()));
  }
}
BENCHMARK(BM_EnvelopeBody);

}  // namespace

BENCHMARK_MAIN();
