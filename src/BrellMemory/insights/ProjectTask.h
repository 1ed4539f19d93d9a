#pragma once
// The task a project is on: what the user is doing now (title) and what they want from
// it (objective). A project's current task is its most recently changed active task,
// or, with none active, its most recently changed finished one. `revision` starts at 1
// and grows on every edit and on completion; an insight remembers the revision it was
// made for. A plain value (a `project_task` row); equality over all fields.
#include <cstddef>
#include <cstdint>
#include <string>

#include "util/Date.h"

namespace brell {

struct ProjectTask {
    // Longest title and objective kept, in user-perceived characters.
    static constexpr std::size_t maxTitle = 120;
    static constexpr std::size_t maxObjective = 600;

    int64_t id = 0;
    int64_t projectID = 0;
    std::string title;
    std::string objective;
    std::string status = "active"; // 'active' or 'done'
    int64_t revision = 1;
    Date updatedAt = 0;

    bool isActive() const { return status == "active"; }

    bool operator==(const ProjectTask&) const = default;
};

} // namespace brell
