// brell task set|done|show: the task a brell is on now, which its suggestions are for.
#include <CLI/CLI.hpp>

#include "BrellMemory/db/MemoryStore.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "util/DateFormat.h"
#include "util/ISODate.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

struct TaskOptions {
    std::string brell;
    std::vector<std::string> title;
    std::optional<std::string> objective;
    bool json = false;
};

void setTask(AppContext& context, const TaskOptions& o) {
    Project p = findBrell(context, o.brell);
    std::string title = Text::join(o.title, " ");
    if (Text::isBlank(title)) {
        throw CommandError("a task needs a title: brell task set " + std::to_string(p.id) +
                           " TITLE [--objective TEXT]");
    }
    const auto& before = p.task;
    bool editing = before && before->isActive();
    // Editing the title alone keeps the objective the task has.
    std::string objective = o.objective.value_or(editing ? before->objective : "");
    auto after = context.memory().setTask(p.id, title, objective);
    if (!after) {
        throw CommandError("brell " + std::to_string(p.id) + " was deleted meanwhile; " +
                           "list your brells with: brell brells list --all");
    }
    std::string named = "\u201c" + TextOutput::oneLine(after->title) + "\u201d";
    if (!editing || before->id != after->id) {
        context.out << "Brell " << p.id << " is now on the task " << named << ".\n";
    } else if (before->revision == after->revision) {
        context.out << "Brell " << p.id << " is already on the task " << named << "; nothing changed.\n";
    } else {
        context.out << "Changed the task of brell " << p.id << " to " << named << " (revision " << after->revision
                    << "); suggestions made for the earlier wording were withdrawn.\n";
    }
}

void completeTask(AppContext& context, const std::string& brell) {
    Project p = findBrell(context, brell);
    if (!p.task || !p.task->isActive()) {
        throw CommandError("brell " + std::to_string(p.id) + " has no task in progress; set one with: brell task set " +
                           std::to_string(p.id) + " TITLE");
    }
    context.memory().completeTask(p.task->id);
    context.out << "The task \u201c" << TextOutput::oneLine(p.task->title) << "\u201d of brell " << p.id
                << " is done; its open suggestions were withdrawn.\n";
}

void showTask(AppContext& context, const std::string& brell, bool json) {
    Project p = findBrell(context, brell);
    if (json) {
        Json task = nullptr;
        if (p.task) {
            task = {{"id", p.task->id},
                    {"title", p.task->title},
                    {"objective", p.task->objective},
                    {"status", p.task->status},
                    {"revision", p.task->revision},
                    {"updatedAt", ISODate::format(p.task->updatedAt)}};
        }
        TextOutput::printJson(context.out, Json{{"brell", p.id}, {"name", p.name}, {"task", task}});
        return;
    }
    context.out << "Brell " << p.id << " \u201c" << TextOutput::oneLine(p.name) << "\u201d\n";
    if (!p.task) {
        context.out << "No task yet; set one with: brell task set " << p.id << " TITLE\n";
        return;
    }
    context.out << "Task: " << TextOutput::oneLine(p.task->title) << "\n";
    if (!Text::isBlank(p.task->objective)) {
        context.out << "Objective: " << TextOutput::oneLine(p.task->objective) << "\n";
    }
    context.out << (p.task->isActive() ? "In progress" : "Done") << ", revision " << p.task->revision
                << ", last changed " << DateFormat::format(p.task->updatedAt, "d MMM yyyy, HH:mm") << "\n";
}

} // namespace

void registerTaskCommands(CLI::App& app, AppContext& context) {
    auto o = std::make_shared<TaskOptions>();
    auto* task = app.add_subcommand("task", "Set, finish or show the task a brell is on");
    task->require_subcommand(1);

    auto* set = task->add_subcommand("set", "Set the brell's task, or change the one in progress");
    set->add_option("BRELL", o->brell, "The brell's id or name")->required();
    set->add_option("TITLE", o->title, "What you are doing now (at most 120 characters)")->required();
    set->add_option("--objective", o->objective, "What you want from it (at most 600 characters)");
    set->callback([&context, o] { setTask(context, *o); });

    auto* done = task->add_subcommand("done", "Mark the brell's task done");
    done->add_option("BRELL", o->brell, "The brell's id or name")->required();
    done->callback([&context, o] { completeTask(context, o->brell); });

    auto* show = task->add_subcommand("show", "Show the brell's current task");
    show->add_option("BRELL", o->brell, "The brell's id or name")->required();
    show->add_flag("--json", o->json, "Print the task as JSON");
    show->callback([&context, o] { showTask(context, o->brell, o->json); });
}

} // namespace brell
