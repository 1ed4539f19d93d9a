#include "BrellMemory/store/Timecode.h"

#include <cstdio>

namespace brell::Timecode {

std::string format(int64_t ms) {
    const int64_t s = ms / 1000;
    const int64_t h = ms / 3'600'000;
    const int64_t m = (s - 3600 * h) / 60;
    const int64_t sec = s - 60 * (ms / 60'000);
    char buffer[96];
    if (ms < 3'600'000) {
        std::snprintf(buffer, sizeof buffer, "%02lld:%02lld", static_cast<long long>(m), static_cast<long long>(sec));
    } else {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", static_cast<long long>(h), static_cast<long long>(m),
                      static_cast<long long>(sec));
    }
    return buffer;
}

} // namespace brell::Timecode
