// brell moments: where in remembered videos and articles something was said.
#include <CLI/CLI.hpp>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/recall/MomentFinder.h"
#include "brell/AppContext.h"
#include "brell/CitedAnswer.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"

namespace brell {
namespace {

// What one moment request sends: passages of about this many characters each, as many
// as fit the budget, gathered from memory, screen text and the most recent sources.
constexpr std::size_t charsEach = 800;
constexpr std::size_t promptBudget = 12000;
constexpr std::size_t candidateLimit = 24;
constexpr int64_t recentSources = 5;

} // namespace

void registerMomentsCommands(CLI::App& app, AppContext& context) {
    struct Options {
        std::vector<std::string> words;
        int64_t limit = 5;
        bool json = false;
        bool prompt = false;
        bool ai = false;
    };
    auto options = std::make_shared<Options>();
    auto* moments = app.add_subcommand("moments", "Find the moment in a video or article where something was said");
    moments->add_option("QUESTION", options->words, "What you remember, in your own words")->required();
    moments->add_option("--limit", options->limit, "Most passages to show (default 5)")->check(CLI::Range(1, 50));
    moments->add_flag("--json", options->json, "Print the passages as JSON");
    moments->add_flag("--prompt", options->prompt,
                      "Print the exact request a language model would get (instruction, input, schema) instead");
    moments->add_flag("--ai", options->ai, "Have your AI provider pick the moments, each with its reason");
    moments->callback([&context, options] {
        std::string question = TextOutput::joinWords(options->words);
        MemoryStore& store = context.memory();
        if (options->prompt) {
            auto candidates = MomentFinder::fit(store.momentCandidates(question, candidateLimit, recentSources),
                                                charsEach, promptBudget);
            Json request = {{"system", MomentFinder::system},
                            {"input", MomentFinder::input(question, candidates, charsEach)},
                            {"schema", MomentFinder::schema()}};
            TextOutput::printJson(context.out, request);
            return;
        }
        if (options->ai) {
            CitedAnswer::Outcome outcome;
            try {
                outcome = CitedAnswer::run(context, question);
            } catch (const CommandError&) {
                throw;
            } catch (const Error& e) {
                throw CommandError(e.what());
            }
            if (options->json) {
                TextOutput::printJson(context.out, CitedAnswer::toJson(outcome));
            } else {
                CitedAnswer::printMoments(context.out, outcome);
            }
            return;
        }
        auto passages = store.momentPassages(question, static_cast<std::size_t>(options->limit));
        if (options->json) {
            Json all = Json::array();
            for (const auto& p : passages) {
                Json j = {{"kind", p.kind}, {"title", p.title}, {"text", p.text}, {"link", p.link}};
                j["location"] = p.location ? Json(*p.location) : Json(nullptr);
                j["status"] = p.status ? Json(*p.status) : Json(nullptr);
                all.push_back(j);
            }
            TextOutput::printJson(context.out, all);
            return;
        }
        if (passages.empty()) {
            context.out << "No remembered video or article mentions that. Try other words, or check what memory holds "
                           "with: brell doctor\n";
            return;
        }
        int n = 0;
        for (const auto& p : passages) {
            context.out << ++n << ". " << p.title << " (" << p.kind << (p.location ? ", " + *p.location : "") << ")\n";
            context.out << "   " << p.text << "\n";
            if (p.status) {
                context.out << "   " << *p.status << "\n";
            }
            context.out << "   " << p.link << "\n";
        }
    });
}

} // namespace brell
