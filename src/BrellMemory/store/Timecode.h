#pragma once
// The time label printed beside every recalled passage: "mm:ss" below one hour,
// "h:mm:ss" from one hour on. Pure.
#include <cstdint>
#include <string>

namespace brell::Timecode {

std::string format(int64_t ms);

} // namespace brell::Timecode
