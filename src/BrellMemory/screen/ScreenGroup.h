#pragma once
// One topic group of screen memory: the name the summariser sorted captures under (its
// identity), how many captures carry it and when the newest of them was last seen.
// A plain value made by MemoryStore::screenGroups; throws nothing.
#include <cstdint>
#include <string>

#include "util/Date.h"

namespace brell {

struct ScreenGroup {
    std::string name;
    int64_t count = 0;
    Date lastAt = 0;

    bool operator==(const ScreenGroup&) const = default;
};

} // namespace brell
