// brell search …, brell ask …: word search over the memory and the simplest answer to a
// question, as a person reads them or as JSON.
#include <CLI/CLI.hpp>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/recall/QueryTerms.h"
#include "BrellMemory/store/Timecode.h"
#include "brell/AppContext.h"
#include "brell/CitedAnswer.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "util/Json.h"

namespace brell {
namespace {

const std::vector<std::string> chunkKinds = {"metadata", "transcript", "comment", "article", "note"};

// The most hits one search may ask for.
constexpr int64_t maxLimit = 10000;

// Where in the source the hit is: the time for transcripts, the section for articles.
std::string place(const SearchHit& hit) {
    const ChunkRecord& chunk = hit.chunk;
    if (chunk.kind == "transcript") {
        return "Transcript " + Timecode::format(hit.cueMs.value_or(chunk.startMs.value_or(0)));
    }
    if (chunk.kind == "article" && chunk.heading && !chunk.heading->empty()) {
        return "Article, section \u201c" + TextOutput::oneLine(*chunk.heading) + "\u201d";
    }
    return chunk.kindLabel();
}

Json optionalInt(const std::optional<int64_t>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json hitJson(const SearchHit& hit) {
    const ChunkRecord& chunk = hit.chunk;
    return {{"chunkID", chunk.id},
            {"sourceID", chunk.sourceID},
            {"sourceTitle", chunk.sourceTitle},
            {"sourceKind", chunk.sourceKind},
            {"kind", chunk.kind},
            {"heading", chunk.heading ? Json(*chunk.heading) : Json(nullptr)},
            {"place", place(hit)},
            {"rank", hit.rank},
            {"matched", hit.matched},
            {"cueMs", optionalInt(hit.cueMs)},
            {"excerpt", hit.excerpt},
            {"openURL", MemoryStore::openURL(hit)}};
}

void print(AppContext& context, const Json& json) {
    TextOutput::printJson(context.out, json);
}

// Refuses a query that leaves no terms, naming why, before anything is searched.
void requireTerms(const std::string& query) {
    if (QueryTerms::terms(query).expanded.empty()) {
        throw CommandError("\u201c" + query +
                           "\u201d has nothing to search for: use at least one word of two or more letters "
                           "that is not a common word like \u201cthe\u201d or \u201chow\u201d.");
    }
}

struct SearchOptions {
    std::vector<std::string> words;
    std::optional<int64_t> limit;
    std::vector<std::string> kinds;
    bool json = false;
};

void runSearch(AppContext& context, const SearchOptions& options) {
    std::string query = TextOutput::joinWords(options.words);
    requireTerms(query);
    std::optional<std::vector<std::string>> kinds;
    if (!options.kinds.empty()) {
        kinds = options.kinds;
    }
    std::vector<SearchHit> hits = context.memory().searchChunks(query, options.limit, kinds);
    if (options.json) {
        Json all = Json::array();
        for (const auto& hit : hits) {
            all.push_back(hitJson(hit));
        }
        print(context, all);
        return;
    }
    if (hits.empty()) {
        context.out << "Nothing in your memory matches \u201c" << query << "\u201d.\n";
        return;
    }
    int n = 0;
    for (const auto& hit : hits) {
        context.out << ++n << ". " << TextOutput::oneLine(hit.chunk.sourceTitle) << " (" << place(hit) << ")\n"
                    << "   " << TextOutput::oneLine(hit.excerpt) << "\n"
                    << "   " << MemoryStore::openURL(hit) << "\n";
    }
}

Json askJson(const AskResult& result) {
    Json matches = Json::array();
    for (const auto& match : result.matches) {
        const ChunkRecord& chunk = match.hit.chunk;
        Json exposure = nullptr;
        Json exposureText = nullptr;
        if (match.exposure) {
            exposure = rawValue(*match.exposure);
            exposureText = display(*match.exposure, chunk.sourceKind);
        }
        matches.push_back({{"sourceID", match.id()},
                           {"sourceTitle", chunk.sourceTitle},
                           {"reason", match.reason},
                           {"exposure", exposure},
                           {"exposureLabel", exposureText},
                           {"openURL", match.openURL},
                           {"hit", hitJson(match.hit)}});
    }
    return {{"strength", rawValue(result.strength)}, {"headline", result.headline()}, {"matches", matches}};
}

// The model's answer after the search's own: a failed model still leaves the sources shown.
void runAsk(AppContext& context, const std::vector<std::string>& words, bool json, bool ai) {
    std::string question = TextOutput::joinWords(words);
    AskResult result = context.memory().ask(question);
    if (json && !ai) {
        print(context, askJson(result));
        return;
    }
    if (json) {
        Json all = askJson(result);
        try {
            all["ai"] = CitedAnswer::toJson(CitedAnswer::run(context, question));
        } catch (const Error& e) {
            all["ai"] = {{"error", e.what()}};
            print(context, all);
            throw CommandError(e.what());
        }
        print(context, all);
        return;
    }
    if (!result.headline().empty()) {
        context.out << result.headline() << "\n";
    }
    int n = 0;
    for (const auto& match : result.matches) {
        const ChunkRecord& chunk = match.hit.chunk;
        context.out << ++n << ". " << TextOutput::oneLine(chunk.sourceTitle) << "\n"
                    << "   " << match.reason << "\n";
        if (match.exposure) {
            context.out << "   " << display(*match.exposure, chunk.sourceKind) << "\n";
        }
        context.out << "   " << match.openURL << "\n";
    }
    if (ai) {
        context.out.flush();
        CitedAnswer::Outcome outcome;
        try {
            outcome = CitedAnswer::run(context, question);
        } catch (const CommandError&) {
            throw;
        } catch (const Error& e) {
            throw CommandError(e.what());
        }
        context.out << "\n";
        CitedAnswer::print(context.out, outcome);
    }
}

} // namespace

void registerSearchCommands(CLI::App& app, AppContext& context) {
    auto searchOptions = std::make_shared<SearchOptions>();
    auto* search = app.add_subcommand("search", "Search the memory for words");
    search->add_option("WORDS", searchOptions->words, "The words to look for")->required();
    search->add_option("--limit", searchOptions->limit, "Most hits to show (default 30)")
        ->check(CLI::Range(int64_t{1}, maxLimit));
    search->add_option("--kind", searchOptions->kinds, "Only chunks of this kind (may be repeated)")
        ->check(CLI::IsMember(chunkKinds))
        ->allow_extra_args(false);
    search->add_flag("--json", searchOptions->json, "Print the hits as JSON");
    search->callback([&context, searchOptions] { runSearch(context, *searchOptions); });

    struct AskOptions {
        std::vector<std::string> words;
        bool json = false;
        bool ai = false;
    };
    auto askOptions = std::make_shared<AskOptions>();
    auto* ask = app.add_subcommand("ask", "Find up to three sources that answer a question");
    ask->add_option("QUESTION", askOptions->words, "The question, in your own words")->required();
    ask->add_flag("--json", askOptions->json, "Print the answer as JSON");
    ask->add_flag("--ai", askOptions->ai,
                  "Also have your AI provider answer in a few sentences, each checked against a passage it cites");
    ask->callback([&context, askOptions] { runAsk(context, askOptions->words, askOptions->json, askOptions->ai); });
}

} // namespace brell
