// brell memory retention|purge|clear|backup|restore: how long memory keeps things,
// forgetting now, and a copy of everything to put back later.
#include <iostream>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "BrellMemory/db/MemoryBackup.h"
#include "BrellMemory/db/MemoryStore.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"

namespace brell {
namespace {

std::string plural(int64_t n, const std::string& one, const std::string& many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "Removed 2 sources and 1 visual session." or a sentence saying nothing was old enough.
std::string describe(const MemoryStore::PurgeResult& r, int64_t days) {
    std::vector<std::string> parts;
    auto add = [&](int64_t n, const char* one, const char* many) {
        if (n > 0) {
            parts.push_back(plural(n, one, many));
        }
    };
    add(r.sources, "source", "sources");
    add(r.sessions, "old viewing session", "old viewing sessions");
    add(r.events, "expired event id", "expired event ids");
    add(r.screenCaptures, "screen window", "screen windows");
    add(r.visualSessions, "visual session", "visual sessions");
    add(r.insights, "old suggestion", "old suggestions");
    add(r.orphans, "leftover picture file", "leftover picture files");
    if (parts.empty()) {
        return "Nothing to remove: memory holds nothing older than " + std::to_string(days) + " days.";
    }
    std::string sentence = "Removed ";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        sentence += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    }
    return sentence + ".";
}

// The explicit commands work on the memory as it is, without the daily purge first.
MemoryStore& memoryAsItIs(AppContext& context) {
    context.purgeWhenDue = false;
    return context.memory();
}

void registerRetention(CLI::App& memory, AppContext& context) {
    auto days = std::make_shared<std::optional<int64_t>>();
    auto* retention = memory.add_subcommand("retention", "Show or set how many days memory keeps (7, 30 or 90)");
    retention->add_option("DAYS", *days, "7, 30 or 90")
        ->check(CLI::Validator(
            [](std::string& value) {
                return value == "7" || value == "30" || value == "90" ? std::string()
                                                                      : "retention is 7, 30 or 90 days, not " + value;
            },
            "7|30|90"));
    retention->callback([&context, days] {
        MemoryStore& store = memoryAsItIs(context);
        if (!*days) {
            context.out << "Memory keeps what it saw for " << store.state().retentionDays << " days.\n";
            return;
        }
        auto purged = store.setRetention(**days);
        context.out << "Memory now keeps what it saw for " << **days << " days. "
                    << describe(purged.value_or(MemoryStore::PurgeResult{}), **days) << "\n";
    });

    memory.add_subcommand("purge", "Forget now what is older than the retention period")->callback([&context] {
        MemoryStore& store = memoryAsItIs(context);
        auto result = store.purgeExpired();
        context.out << describe(result, store.state().retentionDays) << "\n";
    });
}

void registerClear(CLI::App& memory, AppContext& context) {
    auto yes = std::make_shared<bool>(false);
    auto* clear = memory.add_subcommand(
        "clear", "Forget every video, article, screen window and visual session (switches and brells stay)");
    clear->add_flag("--yes", *yes, "Do not ask for confirmation (for scripts)");
    clear->callback([&context, yes] {
        if (!*yes) {
            if (isatty(STDIN_FILENO) != 1) {
                throw CommandError("brell memory clear forgets everything memory keeps; confirm with --yes when "
                                   "not on a terminal.");
            }
            context.err << "Forget every video, article, screen window and visual session BRELL remembers? "
                           "Type yes to confirm: ";
            context.err.flush();
            std::string answer;
            std::getline(std::cin, answer);
            if (answer != "yes") {
                throw CommandError("nothing was forgotten; type yes to confirm clearing memory.");
            }
        }
        memoryAsItIs(context).clearMemory();
        context.out << "Memory is cleared. Your switches, approved sites, brells and board are unchanged.\n";
    });
}

void registerBackup(CLI::App& memory, AppContext& context) {
    auto backupFile = std::make_shared<std::string>();
    auto* backup = memory.add_subcommand("backup", "Write a consistent copy of the memory and its pictures");
    backup->add_option("FILE", *backupFile, "The copy to write (replaced when it exists)")->required();
    backup->callback([&context, backupFile] {
        try {
            auto result = MemoryBackup::backup(memoryAsItIs(context), *backupFile);
            context.out << "Backed up the memory to " << *backupFile << ", with "
                        << plural(result.pictures, "picture", "pictures") << " in "
                        << MemoryBackup::picturesFolder(*backupFile) << ".\n";
        } catch (const MemoryBackup::Refusal& e) {
            throw CommandError(e.what());
        }
    });

    auto restoreFile = std::make_shared<std::string>();
    auto* restore = memory.add_subcommand("restore", "Replace the memory and its pictures with a backup");
    restore->add_option("FILE", *restoreFile, "A copy written by brell memory backup")->required();
    restore->callback([&context, restoreFile] {
        try {
            auto result = MemoryBackup::restore(memoryAsItIs(context), *restoreFile);
            context.out << "Restored the memory from " << *restoreFile << ", with "
                        << plural(result.pictures, "picture", "pictures") << ".";
            if (result.missingPictures > 0) {
                context.out << " " << plural(result.missingPictures, "picture was", "pictures were")
                            << " missing from the backup.";
            }
            context.out << "\n";
        } catch (const MemoryBackup::Refusal& e) {
            throw CommandError(e.what());
        }
    });
}

} // namespace

void registerRetentionCommands(CLI::App& app, AppContext& context) {
    CLI::App* memory = app.get_subcommand("memory");
    registerRetention(*memory, context);
    registerClear(*memory, context);
    registerBackup(*memory, context);
}

} // namespace brell
