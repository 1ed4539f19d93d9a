#pragma once
// The companion host's message loop, shared by the executable and the fuzz target so
// that both run exactly the same reading and writing: read one frame, answer it, write
// the reply whole, and only then read the next. Owns nothing; borrows the descriptors
// and the answering function for the call. Used from one thread. Throws nothing of its
// own; an exception from `answer` passes through.
#include <cstdint>
#include <functional>
#include <string_view>

#include "util/Json.h"

namespace brell::FrameLoop {

enum class End {
    inputClosed,   // the input ended, between frames or part-way through one
    lengthRefused, // a frame declared a length of 0 or above the limit; refused and answered
    readerGone,    // a reply could not be written: nobody reads any more
};

// The reply to a frame whose declared length is refused.
Json lengthRefusal();

// Answers each frame read from `in` with `answer(body)`, written as one frame to `out`,
// until the input closes, a declared length is 0 or above `maxLength` (answered with
// lengthRefusal(), which ends the loop: the stream cannot be re-synchronised), or the
// reader goes away.
End run(int in, int out, int64_t maxLength, const std::function<Json(std::string_view body)>& answer);

} // namespace brell::FrameLoop
