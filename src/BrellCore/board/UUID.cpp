#include "BrellCore/board/UUID.h"

#include <random>

#include "util/Text.h"

namespace brell {
namespace {

bool isDashPosition(std::size_t at) {
    return at == 8 || at == 13 || at == 18 || at == 23;
}

} // namespace

UUID UUID::random() {
    // Straight from the system's random source: a generator seeded once would repeat
    // its ids in every process forked from the one that seeded it.
    std::random_device device;
    std::array<uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        uint32_t word = device();
        for (std::size_t j = 0; j < 4; ++j) {
            bytes[i + j] = static_cast<uint8_t>(word >> (8 * j));
        }
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
    return UUID(bytes);
}

std::optional<UUID> UUID::parse(std::string_view text) {
    if (text.size() != 36) {
        return std::nullopt;
    }
    std::array<uint8_t, 16> bytes{};
    std::size_t out = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (isDashPosition(at)) {
            if (text[at] != '-') {
                return std::nullopt;
            }
            ++at;
            continue;
        }
        int high = Text::hexDigitValue(text[at]);
        int low = at + 1 < text.size() ? Text::hexDigitValue(text[at + 1]) : -1;
        if (high < 0 || low < 0 || isDashPosition(at + 1)) {
            return std::nullopt;
        }
        bytes[out++] = static_cast<uint8_t>(high * 16 + low);
        at += 2;
    }
    return UUID(bytes);
}

std::string UUID::text() const {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            out += '-';
        }
        out += digits[bytes_[i] >> 4];
        out += digits[bytes_[i] & 0x0F];
    }
    return out;
}

} // namespace brell

std::size_t std::hash<brell::UUID>::operator()(const brell::UUID& id) const noexcept {
    // The bytes are random already; fold them into one word.
    std::size_t value = 0;
    for (uint8_t byte : id.bytes()) {
        value = value * 131 + byte;
    }
    return value;
}
