#include "util/Digest.h"

#include <array>

#include <openssl/evp.h>

namespace brell::Digest {

std::string sha256Hex(std::string_view bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1) {
        throw DigestError("failed to compute SHA-256 with libcrypto");
    }
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 0x0f];
    }
    return out;
}

std::string base64Encode(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3), '\0');
    int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(written));
    return out;
}

std::optional<std::string> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string out(3 * (text.size() / 4), '\0');
    int written = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (written < 0) {
        return std::nullopt;
    }
    // EVP_DecodeBlock counts padding as zero bytes; drop them.
    std::size_t size = static_cast<std::size_t>(written);
    if (!text.empty() && text.back() == '=') {
        --size;
        if (text.size() >= 2 && text[text.size() - 2] == '=') {
            --size;
        }
    }
    out.resize(size);
    return out;
}

} // namespace brell::Digest
