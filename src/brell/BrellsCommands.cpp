// brell brells …: the user's brells (projects): listing, adding, renaming, archiving,
// muting and deleting them.
#include <CLI/CLI.hpp>

#include "BrellMemory/db/MemoryStore.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "util/ISODate.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

const std::string listHint = "list them with: brell brells list --all";

bool isDecimalID(const std::string& text) {
    return !text.empty() && text.size() <= 18 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

Json taskJson(const std::optional<ProjectTask>& task) {
    if (!task) {
        return nullptr;
    }
    return {{"id", task->id},         {"title", task->title},       {"objective", task->objective},
            {"status", task->status}, {"revision", task->revision}, {"updatedAt", ISODate::format(task->updatedAt)}};
}

Json brellJson(const Project& p) {
    return {{"id", p.id},
            {"name", p.name},
            {"keywords", p.keywords},
            {"archived", p.archived},
            {"muted", p.muted},
            {"createdAt", ISODate::format(p.createdAt)},
            {"task", taskJson(p.task)}};
}

void printBrells(AppContext& context, bool all, bool json) {
    auto brells = context.memory().projects(all);
    if (json) {
        Json list = Json::array();
        for (const auto& p : brells) {
            list.push_back(brellJson(p));
        }
        TextOutput::printJson(context.out, list);
        return;
    }
    if (brells.empty()) {
        context.out << (all ? "You have no brells yet; add one with: brell brells add NAME\n"
                            : "You have no brells in use; add one with: brell brells add NAME, or see archived "
                              "ones with: brell brells list --all\n");
        return;
    }
    for (const auto& p : brells) {
        context.out << "#" << p.id << "  " << TextOutput::oneLine(p.name) << (p.archived ? "  (archived)" : "")
                    << (p.muted ? "  (muted)" : "") << "\n";
        if (!Text::isBlank(p.keywords)) {
            context.out << "    key words: " << TextOutput::oneLine(p.keywords) << "\n";
        }
        if (!p.task) {
            context.out << "    no task yet; set one with: brell task set " << p.id << " TITLE\n";
        } else if (p.task->isActive()) {
            context.out << "    task: " << TextOutput::oneLine(p.task->title) << "\n";
        } else {
            context.out << "    last task done: " << TextOutput::oneLine(p.task->title) << "\n";
        }
    }
}

struct BrellOptions {
    bool json = false;
    bool all = false;
    bool listJson = false;
    bool listAll = false;
    std::string name;
    std::optional<std::string> keywords;
    std::string id;
};

} // namespace

Project findBrell(AppContext& context, const std::string& idOrName) {
    MemoryStore& store = context.memory();
    if (isDecimalID(idOrName)) {
        if (auto p = store.project(std::stoll(idOrName))) {
            return *p;
        }
        throw CommandError("there is no brell " + idOrName + "; " + listHint);
    }
    std::string wanted = Text::fold(Text::trim(idOrName));
    std::vector<Project> found;
    for (auto& p : store.projects(true)) {
        if (Text::fold(p.name) == wanted) {
            found.push_back(std::move(p));
        }
    }
    if (found.size() == 1) {
        return found[0];
    }
    std::string quoted = "\u201c" + TextOutput::oneLine(idOrName) + "\u201d";
    if (found.empty()) {
        throw CommandError("there is no brell called " + quoted + "; " + listHint);
    }
    throw CommandError(std::to_string(found.size()) + " brells are called " + quoted +
                       "; name one by its id from: brell brells list --all");
}

void registerBrellsCommands(CLI::App& app, AppContext& context) {
    auto o = std::make_shared<BrellOptions>();
    auto* brells = app.add_subcommand("brells", "List, add, rename, archive, mute or delete your brells (projects)");
    brells->add_flag("--json", o->json, "Print the brells as JSON");
    brells->add_flag("--all", o->all, "Include archived brells");
    brells->require_subcommand(0, 1);
    brells->callback([&context, brells, o] {
        if (brells->get_subcommands().empty()) {
            printBrells(context, o->all, o->json);
        }
    });

    auto* list = brells->add_subcommand("list", "List your brells with their current task (the default)");
    list->add_flag("--all", o->listAll, "Include archived brells");
    list->add_flag("--json", o->listJson, "Print the brells as JSON");
    list->callback([&context, o] { printBrells(context, o->listAll || o->all, o->listJson || o->json); });

    auto* add = brells->add_subcommand("add", "Add a brell");
    add->add_option("NAME", o->name, "What to call it (at most 80 characters)")->required();
    add->add_option("--keywords", o->keywords, "Words that describe it, separated by commas");
    add->callback([&context, o] {
        MemoryStore& store = context.memory();
        int64_t id = store.createProject(o->name, o->keywords.value_or(""));
        auto p = store.project(id);
        context.out << "Added brell " << id << " \u201c" << TextOutput::oneLine(p ? p->name : o->name)
                    << "\u201d. Set its task with: brell task set " << id << " TITLE\n";
    });

    auto* rename = brells->add_subcommand("rename", "Rename a brell and, with --keywords, change its key words");
    rename->add_option("ID", o->id, "The brell's id (or name) from brell brells list")->required();
    rename->add_option("NAME", o->name, "Its new name")->required();
    rename->add_option("--keywords", o->keywords, "Its new key words (kept when not given)");
    rename->callback([&context, o] {
        Project p = findBrell(context, o->id);
        MemoryStore& store = context.memory();
        store.updateProject(p.id, o->name, o->keywords.value_or(p.keywords));
        auto now = store.project(p.id);
        context.out << "Brell " << p.id << " is now called \u201c" << TextOutput::oneLine(now ? now->name : o->name)
                    << "\u201d.\n";
    });

    struct Switch {
        const char* name;
        const char* help;
        std::function<void(AppContext&, const Project&)> run;
    };
    const Switch switches[] = {
        {"archive", "Archive a brell: hidden from the list, its open suggestions withdrawn",
         [](AppContext& c, const Project& p) {
             c.memory().setProjectArchived(p.id, true);
             c.out << "Archived brell " << p.id << "; its open suggestions were withdrawn.\n";
         }},
        {"unarchive", "Bring an archived brell back to the list",
         [](AppContext& c, const Project& p) {
             c.memory().setProjectArchived(p.id, false);
             c.out << "Brell " << p.id << " is back in the list; suggestions withdrawn while it was archived "
                   << "stay withdrawn.\n";
         }},
        {"mute", "Show no suggestions for a brell (they stay stored)",
         [](AppContext& c, const Project& p) {
             c.memory().setProjectMuted(p.id, true);
             c.out << "Brell " << p.id << " is muted: no suggestions are shown for it.\n";
         }},
        {"unmute", "Show suggestions for a muted brell again",
         [](AppContext& c, const Project& p) {
             c.memory().setProjectMuted(p.id, false);
             c.out << "Brell " << p.id << " is no longer muted.\n";
         }},
        {"delete", "Delete a brell with its tasks and suggestions",
         [](AppContext& c, const Project& p) {
             c.memory().deleteProject(p.id);
             c.out << "Deleted brell " << p.id << " \u201c" << TextOutput::oneLine(p.name)
                   << "\u201d with its tasks and suggestions.\n";
         }},
    };
    for (const auto& s : switches) {
        auto id = std::make_shared<std::string>();
        auto* sub = brells->add_subcommand(s.name, s.help);
        sub->add_option("ID", *id, "The brell's id (or name) from brell brells list")->required();
        sub->callback([&context, id, run = s.run] { run(context, findBrell(context, *id)); });
    }
}

} // namespace brell
