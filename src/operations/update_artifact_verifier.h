#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/signature_verifier.h"

namespace corvane::operations {

// The Ed25519 check of an update archive: the signature covers the archive bytes themselves.
class UpdateArtifactVerifier {
 public:
  // Accepts the standard and the URL-safe Base64 alphabets, with or without trailing "=". Any
  // other character, whitespace included, a key that is not 32 bytes or a signature that is not
  // 64 bytes gives false.
  static bool verify(const platform::SignatureVerifier& verifier, std::string_view archiveData,
                     const std::string& edSignature, const std::string& publicEDKey);

  // "-" → "+", "_" → "/", then "=" until the length is a multiple of 4.
  static std::string normalizedBase64(std::string text);
};

}  // namespace corvane::operations
