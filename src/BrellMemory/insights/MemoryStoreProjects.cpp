// Projects (the user's brells) and their tasks.
#include "BrellMemory/db/MemoryStore.h"

#include "util/Text.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

constexpr const char* currentTaskQuery = "SELECT * FROM project_task WHERE project_id = ? "
                                         "ORDER BY (status = 'active') DESC, updated_at DESC, id DESC LIMIT 1";

std::string cleanName(std::string_view name) {
    std::string cut = Text::prefixCharacters(Text::trim(name), Project::maxName);
    return cut.empty() ? std::string(Project::untitled) : cut;
}

std::string cleanKeywords(std::string_view keywords) {
    return Text::prefixCharacters(keywords, Project::maxKeywords);
}

} // namespace

ProjectTask MemoryStore::taskFrom(const SQLiteDB::Row& row) {
    ProjectTask task;
    task.id = row.integer("id");
    task.projectID = row.integer("project_id");
    task.title = row.text("title");
    task.objective = row.text("objective");
    task.status = row.text("status");
    task.revision = row.integer("revision");
    task.updatedAt = row.real("updated_at");
    return task;
}

std::vector<Project> MemoryStore::projects(bool includeArchived) {
    std::vector<Project> out;
    for (const auto& row :
         db.query(std::string("SELECT * FROM project ") + (includeArchived ? "" : "WHERE archived = 0") +
                  " ORDER BY archived, created_at DESC, id DESC")) {
        Project p;
        p.id = row.integer("id");
        p.name = row.text("name");
        p.keywords = row.text("keywords");
        p.archived = row.boolean("archived");
        p.muted = row.boolean("muted");
        p.createdAt = row.real("created_at");
        p.task = currentTask(p.id);
        out.push_back(std::move(p));
    }
    return out;
}

std::optional<Project> MemoryStore::project(int64_t id) {
    auto row = db.one("SELECT * FROM project WHERE id = ?", {Value(id)});
    if (!row) {
        return std::nullopt;
    }
    Project p;
    p.id = row->integer("id");
    p.name = row->text("name");
    p.keywords = row->text("keywords");
    p.archived = row->boolean("archived");
    p.muted = row->boolean("muted");
    p.createdAt = row->real("created_at");
    p.task = currentTask(p.id);
    return p;
}

int64_t MemoryStore::createProject(std::string_view name, std::string_view keywords) {
    db.run("INSERT INTO project(name, keywords, created_at) VALUES (?, ?, ?)",
           {Value(cleanName(name)), Value(cleanKeywords(keywords)), Value(now())});
    return db.lastInsertID();
}

bool MemoryStore::updateProject(int64_t id, std::string_view name, std::string_view keywords) {
    return db.run("UPDATE project SET name = ?, keywords = ? WHERE id = ?",
                  {Value(cleanName(name)), Value(cleanKeywords(keywords)), Value(id)}) > 0;
}

bool MemoryStore::setProjectArchived(int64_t id, bool archived) {
    return db.transaction([&] {
        bool exists = db.run("UPDATE project SET archived = ? WHERE id = ?", {Value(archived), Value(id)}) > 0;
        if (archived) {
            withdrawInsights("project_id = ?", {Value(id)}, Withdrawable::open, "stale");
        }
        return exists;
    });
}

bool MemoryStore::setProjectMuted(int64_t id, bool muted) {
    return db.run("UPDATE project SET muted = ? WHERE id = ?", {Value(muted), Value(id)}) > 0;
}

bool MemoryStore::deleteProject(int64_t id) {
    return db.transaction([&] {
        // Row ids can be given again once the newest row is gone: what belonged to this
        // project must not carry over to a new one with the same id.
        db.run("UPDATE feedback SET project_id = NULL WHERE project_id = ?", {Value(id)});
        for (const auto& row : db.query("SELECT id FROM project_task WHERE project_id = ?", {Value(id)})) {
            db.run("DELETE FROM meta WHERE substr(key, 1, length(?1)) = ?1",
                   {Value("pack:" + std::to_string(row.integer("id")) + ":")});
        }
        return db.run("DELETE FROM project WHERE id = ?", {Value(id)}) > 0;
    });
}

std::optional<ProjectTask> MemoryStore::currentTask(int64_t projectID) {
    auto row = db.one(currentTaskQuery, {Value(projectID)});
    if (!row) {
        return std::nullopt;
    }
    return taskFrom(*row);
}

std::optional<ProjectTask> MemoryStore::setTask(int64_t projectID, std::string_view title, std::string_view objective) {
    std::string t = Text::prefixCharacters(Text::trim(title), ProjectTask::maxTitle);
    std::string o = Text::prefixCharacters(Text::trim(objective), ProjectTask::maxObjective);
    db.transaction([&] {
        auto current = currentTask(projectID);
        if (current && current->isActive()) {
            if (current->title == t && current->objective == o) {
                return;
            }
            db.run("UPDATE project_task SET title = ?, objective = ?, revision = revision + 1, updated_at = ? "
                   "WHERE id = ?",
                   {Value(t), Value(o), Value(now()), Value(current->id)});
            withdrawInsights("task_id = ?", {Value(current->id)}, Withdrawable::open, "stale");
            return;
        }
        db.run("INSERT INTO project_task(project_id, title, objective, updated_at) VALUES (?, ?, ?, ?)",
               {Value(projectID), Value(t), Value(o), Value(now())});
    });
    return currentTask(projectID);
}

bool MemoryStore::completeTask(int64_t taskID) {
    return db.transaction([&] {
        bool exists = db.run("UPDATE project_task SET status = 'done', revision = revision + 1, updated_at = ? "
                             "WHERE id = ?",
                             {Value(now()), Value(taskID)}) > 0;
        withdrawInsights("task_id = ?", {Value(taskID)}, Withdrawable::open, "stale");
        return exists;
    });
}

std::vector<AssistantBrell> MemoryStore::assistantBrells() {
    std::vector<AssistantBrell> out;
    for (const auto& p : projects(false)) {
        AssistantBrell brell{p.name, AssistantBrell::terms(p.keywords), std::nullopt, std::nullopt, std::nullopt};
        if (p.task && p.task->isActive()) {
            brell.task = p.task->title;
            brell.objective = p.task->objective;
            brell.taskUpdatedAt = p.task->updatedAt;
        }
        out.push_back(std::move(brell));
    }
    return out;
}

} // namespace brell
