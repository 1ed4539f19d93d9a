// brell seen URL: what the companion would be told about earlier visits to a page.
#include <CLI/CLI.hpp>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/host/HostProtocol.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"

namespace brell {
namespace {

void printSeen(AppContext& context, const Json& reply) {
    auto& out = context.out;
    if (reply.value("type", "") != "seen") {
        throw CommandError("the memory could not be read just now; try again in a moment.");
    }
    if (!reply.value("known", false)) {
        std::string reason = reply.value("reason", "");
        if (reason == "invalid_url") {
            throw CommandError("that is not an https web address.");
        }
        if (reason == "disabled") {
            out << "Memory is off or paused (or YouTube memory is off), so earlier visits are not shown.\n";
        } else if (reason == "not_allowed") {
            out << "This site is not approved for memory; approve it with: brell origins approve URL\n";
        } else {
            out << "Not seen before.\n";
        }
        return;
    }
    out << "Seen before: " << reply.value("title", "") << "\n";
    if (reply.value("kind", "") == "video") {
        out << "  watched " << reply.value("watchedSeconds", 0) << " s, played in the background "
            << reply.value("playedSeconds", 0) << " s\n";
    } else {
        out << "  read for " << reply.value("readSeconds", 0) << " s, " << reply.value("sectionsRead", 0)
            << " sections in view\n";
    }
    out << "  quotes on the board: " << reply.value("quotes", 0) << "\n";
    out << "  first seen " << reply.value("firstSeenAt", "") << ", last seen " << reply.value("lastSeenAt", "") << "\n";
}

} // namespace

void registerSeenCommand(CLI::App& app, AppContext& context) {
    struct Options {
        std::string url;
        std::string since;
        bool json = false;
    };
    auto options = std::make_shared<Options>();
    auto* seen = app.add_subcommand("seen", "Show what memory knows of earlier visits to a page");
    seen->add_option("URL", options->url, "The page's address")->required();
    seen->add_option("--since", options->since, "Count only visits that started before this ISO 8601 date-time");
    seen->add_flag("--json", options->json, "Print the companion's reply as JSON");
    seen->callback([&context, options] {
        HostProtocol host(context.memory(), context.boardPath());
        Json message = {{"url", options->url}};
        if (!options->since.empty()) {
            message["since"] = options->since;
        }
        Json reply = host.seen(message, std::nullopt);
        if (options->json) {
            context.out << reply.dump(2) << "\n";
            return;
        }
        printSeen(context, reply);
    });
}

} // namespace brell
