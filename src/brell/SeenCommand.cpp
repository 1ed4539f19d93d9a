// brell seen URL: what the companion would be told about earlier visits to a page.
#include <CLI/CLI.hpp>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/host/HostProtocol.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "util/ISODate.h"

namespace brell {
namespace {

void printSeen(AppContext& context, const SeenAnswer& answer) {
    using Outcome = SeenAnswer::Outcome;
    auto& out = context.out;
    switch (answer.outcome) {
    case Outcome::storeUnavailable:
        throw CommandError("the memory could not be read just now; try again in a moment.");
    case Outcome::invalidURL:
        throw CommandError("that is not an https web address.");
    case Outcome::disabled:
        out << "Memory is off or paused (or YouTube memory is off), so earlier visits are not shown.\n";
        return;
    case Outcome::notAllowed:
        out << "This site is not approved for memory; approve it with: brell origins approve URL\n";
        return;
    case Outcome::notSeen:
        out << "Not seen before.\n";
        return;
    case Outcome::known:
        break;
    }
    const SeenBefore& visit = *answer.visit;
    out << "Seen before: " << visit.title << "\n";
    if (visit.isVideo()) {
        out << "  watched " << visit.watchedSeconds << " s, played in the background " << visit.playedSeconds << " s\n";
    } else {
        out << "  read for " << visit.readSeconds << " s, " << visit.sectionsRead << " sections in view\n";
    }
    out << "  quotes on the board: " << answer.quotes << "\n";
    out << "  first seen " << ISODate::format(visit.firstSeen) << ", last seen " << ISODate::format(visit.lastSeen)
        << "\n";
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
        std::optional<Date> since;
        if (!options->since.empty()) {
            since = ISODate::parse(options->since);
            if (!since) {
                throw CLI::ValidationError("--since", "not an ISO 8601 date-time: " + options->since);
            }
        }
        HostProtocol host(context.memory(), context.boardPath());
        SeenAnswer answer = host.seenAnswer(HostProtocol::string(Json(options->url), 2000), since);
        if (options->json && answer.outcome != SeenAnswer::Outcome::storeUnavailable) {
            TextOutput::printJson(context.out, HostProtocol::seenReply(answer, std::nullopt));
            return;
        }
        printSeen(context, answer);
    });
}

} // namespace brell
