#include "BrellMemory/visual/VisualPolicy.h"

namespace brell::VisualPolicy {

bool changed(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, double threshold) {
    if (a.empty() || a.size() != b.size()) {
        return true;
    }
    double total = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        total += std::abs(static_cast<int>(a[i]) - static_cast<int>(b[i]));
    }
    return total / static_cast<double>(a.size()) / 255.0 > threshold;
}

std::vector<std::size_t> spreadIndexes(std::size_t n, int64_t count) {
    std::vector<std::size_t> out;
    if (count <= 0 || static_cast<uint64_t>(count) >= n) {
        for (std::size_t i = 0; i < n; ++i) {
            out.push_back(i);
        }
        return out;
    }
    if (count == 1) {
        return {0};
    }
    for (int64_t i = 0; i < count; ++i) {
        double at = static_cast<double>(n - 1) * static_cast<double>(i) / static_cast<double>(count - 1);
        out.push_back(static_cast<std::size_t>(std::round(at))); // std::round: halves away from zero
    }
    return out;
}

bool isJPEG(std::string_view bytes) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() < 6) {
        return false;
    }
    bool start = byte(0) == 0xFF && byte(1) == 0xD8 && byte(2) == 0xFF && byte(3) != 0x00 && byte(3) != 0xFF;
    bool end = byte(bytes.size() - 2) == 0xFF && byte(bytes.size() - 1) == 0xD9;
    return start && end;
}

} // namespace brell::VisualPolicy
