#pragma once
// Native-messaging framing: a 4-byte length in the machine's byte order, then that many
// bytes of JSON, on descriptors the caller owns (the host's standard streams). Owns
// nothing; used from the host's single thread. FrameLoop runs the host on it.
#include <cstdint>
#include <optional>
#include <string>

#include "util/Json.h"

namespace brell::FrameIO {

// Reads until exactly `count` bytes are gathered, each read asking for what is still
// missing. Nothing as soon as the input ends, even part-way. A count below 1 gives "".
std::optional<std::string> readExactly(int fd, int64_t count);

// Serialises `message` compactly and writes length and body to `fd` in one write, so a
// reply reaches the reader whole. A message that cannot be serialised is not written.
// Returns false when the reader has gone away.
bool write(int fd, const Json& message);

} // namespace brell::FrameIO
