#include "operations/update_artifact_verifier.h"

namespace corvane::operations {

std::string UpdateArtifactVerifier::normalizedBase64(std::string text) {
  for (char& c : text) {
    if (c == '-') c = '+';
    if (c == '_') c = '/';
  }
  while (text.size() % 4 != 0) text += '=';
  return text;
}

bool UpdateArtifactVerifier::verify(const platform::SignatureVerifier& verifier,
                                    std::string_view archiveData, const std::string& edSignature,
                                    const std::string& publicEDKey) {
  auto key = verifier.decodeBase64(normalizedBase64(publicEDKey));
  auto signature = verifier.decodeBase64(normalizedBase64(edSignature));
  if (!key || !signature) return false;
  if (key->size() != platform::SignatureVerifier::kPublicKeyBytes ||
      signature->size() != platform::SignatureVerifier::kSignatureBytes) {
    return false;
  }
  return verifier.verifyEd25519(archiveData, *signature, *key);
}

}  // namespace corvane::operations
