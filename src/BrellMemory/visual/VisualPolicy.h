#pragma once
// VisualPolicy: the constants of Visual mode and the pure rules the recorder and the
// sharing use: session lengths, how many pictures an assistant sees, whether two
// downscaled pictures differ, which items spread evenly over a list, and whether bytes
// are a JPEG picture at all. Pure functions; safe from any thread; nothing throws
// except std::bad_alloc.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace brell::VisualPolicy {

// Session lengths in seconds the user can choose, and the preselected one.
inline constexpr std::array<int, 4> durations = {30, 60, 120, 300};
inline constexpr int defaultDuration = 60;
// Pictures spread over a session when none is starred; most starred pictures shared.
inline constexpr std::size_t sharedFrames = 8;
inline constexpr std::size_t maxPickedFrames = 12;

// Whether two downscaled pictures differ: true when `a` is empty or the lengths
// differ, else whether the mean absolute byte difference over 255 is above
// `threshold`.
bool changed(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, double threshold);

// The indexes `spread` picks from `n` items: all of them when `count` is not in
// 1 … n − 1, the first for 1, else round((n − 1) × i ÷ (count − 1)) for i = 0 … count − 1,
// halves away from zero (first and last always included).
std::vector<std::size_t> spreadIndexes(std::size_t n, int64_t count);

// `count` evenly spaced items of `items` (see spreadIndexes).
template <class T> std::vector<T> spread(const std::vector<T>& items, int64_t count) {
    std::vector<T> out;
    for (std::size_t i : spreadIndexes(items.size(), count)) {
        out.push_back(items[i]);
    }
    return out;
}

// Whether `bytes` look like a whole JPEG file: the start-of-image marker followed by
// another marker (FF D8 FF xx, xx not 00 or FF) and the end-of-image marker (FF D9) as
// the last two bytes. Checked before anything is stored; not a decoder.
bool isJPEG(std::string_view bytes);

} // namespace brell::VisualPolicy
