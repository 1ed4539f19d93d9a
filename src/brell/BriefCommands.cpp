// brell brief …: a Markdown brief of what memory holds about one topic, to keep or share.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/recall/AnswerComposer.h"
#include "BrellMemory/recall/MomentFinder.h"
#include "BrellMemory/recall/QueryTerms.h"
#include "BrellMemory/recall/TopicBrief.h"
#include "brell/AppContext.h"
#include "brell/CitedAnswer.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "platform/FileSystem.h"
#include "platform/SystemClock.h"

namespace brell {
namespace {

// A brief quotes at most this many passages, at most this many from one source, each
// quote at most this many characters.
constexpr std::size_t briefPassages = 6;
constexpr int passagesPerSource = 2;
constexpr std::size_t quoteCharacters = 280;

// The best transcript, article and comment passages about the topic, each with the
// exact words that best match it, where it is, how the user met it and its link.
std::vector<TopicBrief::Passage> topicPassages(MemoryStore& store, const std::string& topic) {
    auto hits = store.searchChunks(topic, static_cast<int64_t>(4 * briefPassages),
                                   std::vector<std::string>{"transcript", "article", "comment"});
    std::vector<TopicBrief::Passage> passages;
    std::map<int64_t, int> perSource;
    for (const auto& hit : hits) {
        if (passages.size() >= briefPassages) {
            break;
        }
        const ChunkRecord& chunk = hit.chunk;
        if (perSource[chunk.sourceID]++ >= passagesPerSource) {
            continue;
        }
        std::optional<int64_t> ms = chunk.kind == "transcript" ? hit.cueMs : std::nullopt;
        std::optional<ExposureLabel> exposure;
        try {
            exposure = store.exposure(chunk, ms);
        } catch (const std::exception&) {
            // The passage is quoted without saying how the user met it.
        }
        passages.push_back(TopicBrief::Passage{chunk, ms, AnswerComposer::verbatim(chunk, ms, topic, quoteCharacters),
                                               exposure, MemoryStore::momentURL(chunk, ms)});
    }
    return passages;
}

void requireTerms(const std::string& topic) {
    if (QueryTerms::terms(topic).expanded.empty()) {
        throw CommandError("\u201c" + topic +
                           "\u201d has nothing to search for: use at least one word of two or more letters "
                           "that is not a common word like \u201cthe\u201d or \u201chow\u201d.");
    }
}

// Prints the brief, or writes it whole to `out` and says so.
void deliver(AppContext& context, const std::string& markdown, const std::string& out) {
    if (out.empty()) {
        context.out << markdown;
        return;
    }
    try {
        // The file gets what the terminal would show: no escape sequence survives in it.
        FileSystem::writeAtomically(out, TextOutput::printable(markdown, true));
    } catch (const Error& e) {
        throw CommandError(std::string("The brief could not be written: ") + e.what());
    }
    context.out << "Wrote the brief to " << out << ".\n";
}

struct BriefOptions {
    std::vector<std::string> words;
    std::string out;
    bool ai = false;
};

// The moments the model chose first, quoted in the passage's own words, then the
// search's passages that are not the same spot.
std::vector<TopicBrief::Passage> withMoments(const std::vector<Moment>& moments,
                                             const std::vector<TopicBrief::Passage>& found, const std::string& topic) {
    std::vector<TopicBrief::Passage> passages;
    auto known = [&](const ChunkRecord& chunk, std::optional<int64_t> ms) {
        return std::any_of(passages.begin(), passages.end(), [&](const TopicBrief::Passage& p) {
            return MomentFinder::promptID(p.chunk) == MomentFinder::promptID(chunk) && p.ms == ms;
        });
    };
    for (const Moment& moment : moments) {
        if (!known(moment.chunk, moment.ms)) {
            passages.push_back(
                {moment.chunk, moment.ms,
                 AnswerComposer::verbatim(moment.chunk, moment.ms, moment.why + " " + topic, quoteCharacters),
                 moment.exposure, moment.openURL});
        }
    }
    for (const auto& passage : found) {
        if (!known(passage.chunk, passage.ms)) {
            passages.push_back(passage);
        }
    }
    return passages;
}

void runBrief(AppContext& context, const BriefOptions& options) {
    std::string topic = TextOutput::joinWords(options.words);
    requireTerms(topic);
    MemoryStore& store = context.memory();
    auto passages = topicPassages(store, topic);
    if (!options.ai) {
        deliver(context, TopicBrief::markdown(topic, {}, std::nullopt, passages, systemNow()), options.out);
        return;
    }
    CitedAnswer::Outcome outcome;
    try {
        outcome = CitedAnswer::run(context, topic);
    } catch (const Error& e) {
        // The passages are still worth keeping when the model fails.
        deliver(context, TopicBrief::markdown(topic, {}, std::nullopt, passages, systemNow()), options.out);
        throw CommandError(e.what());
    }
    const auto& answer = outcome.result.answer;
    deliver(context,
            TopicBrief::markdown(topic, answer.sentences, outcome.label,
                                 withMoments(outcome.result.moments, passages, topic), systemNow()),
            options.out);
    if (answer.dropped > 0) {
        context.err << CitedAnswer::droppedLine(answer.dropped) << "\n";
    }
}

} // namespace

void registerBriefCommands(CLI::App& app, AppContext& context) {
    auto options = std::make_shared<BriefOptions>();
    auto* brief = app.add_subcommand("brief", "Write a Markdown brief of what your memory holds about a topic");
    brief->add_option("TOPIC", options->words, "The topic, in a few words")->required();
    brief->add_option("--out", options->out, "Write the brief to this file instead of printing it");
    brief->add_flag("--ai", options->ai, "Open the brief with an answer your AI provider writes from the passages");
    brief->callback([&context, options] { runBrief(context, *options); });
}

} // namespace brell
