#include <sodium.h>

#include <mutex>

#include "platform/signature_verifier.h"

namespace corvane::platform {
namespace {

class SodiumSignatureVerifier final : public SignatureVerifier {
 public:
  SodiumSignatureVerifier() {
    static std::once_flag once;
    std::call_once(once, [] { (void)sodium_init(); });
  }

  std::optional<Bytes> decodeBase64(std::string_view text) const override {
    Bytes out(text.size() / 4 * 3 + 3);
    std::size_t length = 0;
    const char* end = nullptr;
    const int status =
        sodium_base642bin(out.data(), out.size(), text.data(), text.size(),
                          /*ignore=*/nullptr, &length, &end, sodium_base64_VARIANT_ORIGINAL);
    // The whole text must have been consumed: libsodium stops quietly at the first stray byte.
    if (status != 0 || end != text.data() + text.size()) return std::nullopt;
    out.resize(length);
    return out;
  }

  bool verifyEd25519(std::string_view message, const Bytes& signature,
                     const Bytes& publicKey) const override {
    if (signature.size() != crypto_sign_BYTES || publicKey.size() != crypto_sign_PUBLICKEYBYTES) {
      return false;
    }
    return crypto_sign_verify_detached(signature.data(),
                                       reinterpret_cast<const unsigned char*>(message.data()),
                                       message.size(), publicKey.data()) == 0;
  }
};

}  // namespace

std::shared_ptr<SignatureVerifier> makeSignatureVerifier() {
  return std::make_shared<SodiumSignatureVerifier>();
}

}  // namespace corvane::platform
