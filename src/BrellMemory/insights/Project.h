#pragma once
// One of the user's projects, shown to them as a brell: a name, free key words, whether
// it is archived (hidden from the default list, its open suggestions withdrawn) or
// muted (nothing delivered for it), and its current task when it has one. A plain value
// (a `project` row with its current task); equality over all fields.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "BrellMemory/insights/ProjectTask.h"
#include "util/Date.h"

namespace brell {

struct Project {
    // Longest name and key words kept, in user-perceived characters.
    static constexpr std::size_t maxName = 80;
    static constexpr std::size_t maxKeywords = 300;
    // The name of a project created without one.
    static constexpr const char* untitled = "Untitled project";

    int64_t id = 0;
    std::string name;
    std::string keywords;
    bool archived = false;
    bool muted = false;
    Date createdAt = 0;
    std::optional<ProjectTask> task;

    bool operator==(const Project&) const = default;
};

} // namespace brell
