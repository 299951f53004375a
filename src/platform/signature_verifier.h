#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace corvane::platform {

using Bytes = std::vector<std::uint8_t>;

// Ed25519 signatures and the strict Base64 that carries keys and signatures.
class SignatureVerifier {
 public:
  static constexpr std::size_t kPublicKeyBytes = 32;
  static constexpr std::size_t kSignatureBytes = 64;

  virtual ~SignatureVerifier() = default;

  // Decodes standard Base64 with padding; any other character, whitespace included, or text left
  // over after the padding gives nothing.
  virtual std::optional<Bytes> decodeBase64(std::string_view text) const = 0;

  // Whether `signature` (64 bytes) is a valid Ed25519 signature of `message` under `publicKey`
  // (32 bytes). Wrong lengths and keys that are not points of the curve give false.
  virtual bool verifyEd25519(std::string_view message, const Bytes& signature,
                             const Bytes& publicKey) const = 0;
};

// The libsodium verifier.
std::shared_ptr<SignatureVerifier> makeSignatureVerifier();

}  // namespace corvane::platform
