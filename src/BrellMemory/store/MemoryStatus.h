#pragma once
// How the memory appears to the user: off, active, paused or not hearing from the
// companion. The raw values are the texts shown.
#include <optional>
#include <string>
#include <string_view>

namespace brell {

enum class MemoryStatus { off, active, paused, connectionLost };

std::string rawValue(MemoryStatus status);
// Accepts exactly "Off", "Active", "Paused" and "Connection Lost".
std::optional<MemoryStatus> memoryStatusFromRaw(std::string_view text);

} // namespace brell
