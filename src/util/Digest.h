#pragma once
// Digests and encodings on OpenSSL's libcrypto. Stateless and thread-safe. Throws
// DigestError only when libcrypto itself fails.
#include <optional>
#include <string>
#include <string_view>

#include "util/Error.h"

namespace brell {

class DigestError : public Error {
public:
    explicit DigestError(const std::string& what) : Error(what) {}
};

} // namespace brell

namespace brell::Digest {

// SHA-256 of the bytes, as 64 lower-case hexadecimal digits.
std::string sha256Hex(std::string_view bytes);

// Standard Base64 with padding.
std::string base64Encode(std::string_view bytes);

// Decodes standard Base64 (padding required, no white space); nothing when malformed.
std::optional<std::string> base64Decode(std::string_view text);

} // namespace brell::Digest
