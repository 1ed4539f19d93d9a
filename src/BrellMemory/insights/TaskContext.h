#pragma once
// The project and active task an insight is made for, as the insight engine reads it
// once per preparation and hands it to the model inputs, validation and scoring. The
// prompt ids are what a model sees instead of bare row numbers. A plain value; equality
// over all fields.
#include <cstdint>
#include <string>

namespace brell {

struct TaskContext {
    int64_t projectID = 0;
    int64_t taskID = 0;
    int64_t revision = 0;
    std::string project;   // project name
    std::string title;     // task title
    std::string objective; // task objective
    std::string keywords;  // project keywords

    // "p" + project id, "t" + task id.
    std::string promptProjectID() const { return "p" + std::to_string(projectID); }
    std::string promptTaskID() const { return "t" + std::to_string(taskID); }
    // Title, objective and keywords joined with single spaces: the evidence query and
    // the source of the task's terms.
    std::string queryText() const { return title + " " + objective + " " + keywords; }

    bool operator==(const TaskContext&) const = default;
};

} // namespace brell
