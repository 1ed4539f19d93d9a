#include "brell/CitedAnswer.h"

#include <ostream>

#include "BrellCore/ai/AICall.h"
#include "BrellCore/board/CardStore.h"
#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/recall/MomentFinder.h"
#include "BrellMemory/recall/QueryTerms.h"
#include "brell/AIChoice.h"
#include "brell/AppContext.h"
#include "brell/AppSettings.h"
#include "brell/TextOutput.h"
#include "platform/InterruptWatch.h"
#include "platform/SystemClock.h"
#include "util/Text.h"

namespace brell::CitedAnswer {
namespace {

// The schema name the request is sent under.
const char* const schemaName = "brell_answer";

constexpr std::size_t mockSentenceWords = 30;

std::string withoutEllipses(std::string text) {
    const std::string ellipsis = "\u2026";
    if (text.starts_with(ellipsis)) {
        text.erase(0, ellipsis.size());
    }
    if (text.ends_with(ellipsis)) {
        text.erase(text.size() - ellipsis.size());
    }
    return Text::trim(text);
}

// The first sentence of the passage's words at `ms`, at most 30 words.
std::string firstSentence(const ChunkRecord& chunk, std::optional<int64_t> ms, std::string_view question) {
    std::string quote = withoutEllipses(AnswerComposer::verbatim(chunk, ms, question, 280));
    auto sentences = Text::sentences(quote);
    std::string sentence = sentences.empty() ? quote : Text::trim(sentences.front());
    std::string out;
    std::size_t words = 0;
    for (const std::string& word : Text::split(sentence, ' ')) {
        if (word.empty()) {
            continue;
        }
        if (++words > mockSentenceWords) {
            break;
        }
        out += out.empty() ? word : " " + word;
    }
    return out;
}

// Characters of passages one request may carry (see defaultBudget).
std::size_t budget(const ProviderInsightModel& model) {
    return model.provider.isOnDevice() ? static_cast<std::size_t>(model.inputBudget()) : defaultBudget;
}

} // namespace

std::vector<ChunkRecord> candidates(MemoryStore& store, std::string_view question, const std::vector<SavedQuote>& saved,
                                    std::size_t budget) {
    std::vector<ChunkRecord> quotes;
    for (std::size_t i = 0; i < saved.size(); ++i) {
        const SavedQuote& quote = saved[i];
        quotes.push_back(ChunkRecord::saved(static_cast<int64_t>(i), quote.key, quote.title, quote.url, quote.text,
                                            quote.lane, quote.capturedAt));
    }
    std::vector<ChunkRecord> all = MomentFinder::keywordHits(question, quotes, savedQuoteLimit);
    auto memory = store.momentCandidates(question, candidateLimit, recentSources);
    all.insert(all.end(), memory.begin(), memory.end());
    return MomentFinder::fit(all, charsEach, budget);
}

Result ask(MemoryStore& store, std::string_view question, std::vector<ChunkRecord> candidates,
           const StructuredCall& call) {
    Json reply = call(AnswerComposer::system, MomentFinder::input(question, candidates, charsEach),
                      AnswerComposer::schema(), schemaName);
    Result result;
    result.moments = MomentFinder::parse(reply, candidates, store, std::string(question));
    result.answer = AnswerComposer::parse(reply, candidates, store);
    result.candidates = std::move(candidates);
    return result;
}

Json mockReply(std::string_view question, const std::vector<ChunkRecord>& candidates) {
    auto terms = QueryTerms::terms(question);
    Json moments = Json::array();
    Json answer = Json::array();
    for (const ChunkRecord& chunk : MomentFinder::keywordHits(question, candidates, 3)) {
        std::optional<int64_t> ms = MomentFinder::cue(chunk, std::nullopt, question);
        Json seconds = chunk.kind == "transcript" && ms ? Json(*ms / 1000) : Json(nullptr);
        std::string matched;
        for (const auto& term : QueryTerms::matched(terms.expanded, chunk.text + " " + chunk.sourceTitle)) {
            matched += (matched.empty() ? "\u201c" : ", \u201c") + term + "\u201d";
        }
        moments.push_back({{"passageId", MomentFinder::promptID(chunk)},
                           {"seconds", seconds},
                           {"why", matched.empty() ? "Shares words with the question." : "Mentions " + matched + "."}});
        if (answer.size() < 2) {
            answer.push_back({{"text", firstSentence(chunk, ms, question)},
                              {"passageId", MomentFinder::promptID(chunk)},
                              {"seconds", seconds}});
        }
    }
    return {{"moments", moments}, {"answer", answer}};
}

std::vector<SavedQuote> savedQuotes(AppContext& context) {
    std::vector<SavedQuote> quotes;
    std::vector<Card> cards;
    try {
        cards = CardStore::readCards(context.boardPath());
    } catch (const Error&) {
        return quotes; // the answer rests on memory alone
    }
    for (const Card& card : cards) {
        if (card.capture.kind == CaptureKind::quote && card.lane != Lane::links) {
            quotes.push_back({card.id.text(), card.capture.source.title, card.capture.source.url,
                              card.capture.trimmedText(), card.lane.rawValue(), card.capture.capturedAt});
        }
    }
    return quotes;
}

Outcome run(AppContext& context, std::string_view question) {
    MemoryStore& store = context.memory();
    if (AIChoice::mockMode()) {
        auto sent = candidates(store, question, savedQuotes(context), defaultBudget);
        Result result =
            ask(store, question, sent, [&](const std::string&, const Json&, const Json&, const std::string&) {
                return mockReply(question, sent);
            });
        return {std::move(result), std::string(mockLabel), true};
    }

    const ProviderInsightModel model = AIChoice::select(AIChoice::saved(AppSettings::load(AppSettings::defaultPath())));
    if (model.provider == AIProvider::off) {
        throw CommandError("AI answers are turned off. Choose a provider with: brell ai use PROVIDER");
    }
    auto sent = candidates(store, question, savedQuotes(context), budget(model));
    CancelToken cancel;
    InterruptWatch interrupt(cancel); // Ctrl-C ends the call cleanly: a running claude is stopped
    try {
        if (model.provider.environmentKey() && model.apiKey.empty()) {
            throw ExplainError::noKey();
        }
        Result result =
            ask(store, question, std::move(sent),
                [&](const std::string& system, const Json& input, const Json& schema, const std::string& name) {
                    return AICall::ask(model, system, input, OrderedJson(schema), name, cancel);
                });
        return {std::move(result), model.label(), false};
    } catch (const ExplainError& e) {
        throw CommandError(e.message());
    }
}

namespace {

std::string exposureText(const Moment& moment) {
    return moment.exposure ? display(*moment.exposure, moment.chunk.sourceKind) : "";
}

void printHeader(std::ostream& out, const std::string& title, const Outcome& outcome) {
    out << title << " (AI \u00B7 " << outcome.label << ")\n";
    if (outcome.mock) {
        out << "This is a mock reply: BRELL_MOCK_AI is set, so BRELL built it from the passages without a model.\n";
    }
}

void printMomentList(std::ostream& out, const std::vector<Moment>& moments, Date now) {
    int n = 0;
    for (const Moment& moment : moments) {
        out << ++n << ". " << TextOutput::oneLine(moment.chunk.sourceTitle) << " ("
            << TextOutput::oneLine(moment.whereLabel(now)) << ")\n";
        if (!moment.why.empty()) {
            out << "   " << TextOutput::oneLine(moment.why) << "\n";
        }
        if (moment.exposure) {
            out << "   " << exposureText(moment) << "\n";
        }
        if (!moment.openURL.empty()) {
            out << "   " << moment.openURL << "\n";
        }
    }
}

Json optionalInt(const std::optional<int64_t>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json momentJson(const Moment& moment, Date now) {
    return {{"chunkID", moment.chunk.id},
            {"sourceTitle", moment.chunk.sourceTitle},
            {"kind", moment.chunk.kind},
            {"ms", optionalInt(moment.ms)},
            {"where", moment.whereLabel(now)},
            {"why", moment.why},
            {"exposure", moment.exposure ? Json(rawValue(*moment.exposure)) : Json(nullptr)},
            {"exposureLabel", moment.exposure ? Json(exposureText(moment)) : Json(nullptr)},
            {"openURL", moment.openURL}};
}

} // namespace

std::string droppedLine(int dropped) {
    return dropped == 1
               ? "1 sentence was left out because the passages didn't support it."
               : std::to_string(dropped) + " sentences were left out because the passages didn't support them.";
}

void print(std::ostream& out, const Outcome& outcome) {
    const Result& result = outcome.result;
    Date now = systemNow();
    printHeader(out, "Answer", outcome);
    if (result.answer.sentences.empty()) {
        out << "The passages don't support an answer.\n";
    }
    int n = 0;
    for (const AnswerSentence& sentence : result.answer.sentences) {
        const Moment& moment = sentence.moment;
        out << ++n << ". " << TextOutput::oneLine(sentence.text) << "\n"
            << "   \u201c" << TextOutput::oneLine(sentence.quote) << "\u201d\n"
            << "   " << TextOutput::oneLine(moment.chunk.sourceTitle) << " \u00B7 "
            << TextOutput::oneLine(moment.whereLabel(now));
        if (moment.exposure) {
            out << " \u00B7 " << exposureText(moment);
        }
        out << "\n";
        if (!moment.openURL.empty()) {
            out << "   " << moment.openURL << "\n";
        }
    }
    if (!result.moments.empty()) {
        out << "Moments\n";
        printMomentList(out, result.moments, now);
    }
    if (result.answer.dropped > 0) {
        out << droppedLine(result.answer.dropped) << "\n";
    }
}

void printMoments(std::ostream& out, const Outcome& outcome) {
    printHeader(out, "Moments", outcome);
    if (outcome.result.moments.empty()) {
        out << "No passage matches what you remember.\n";
        return;
    }
    printMomentList(out, outcome.result.moments, systemNow());
}

Json toJson(const Outcome& outcome) {
    Date now = systemNow();
    Json answer = Json::array();
    for (const AnswerSentence& sentence : outcome.result.answer.sentences) {
        Json moment = momentJson(sentence.moment, now);
        moment.erase("why");
        answer.push_back(
            {{"id", sentence.id()}, {"text", sentence.text}, {"quote", sentence.quote}, {"moment", moment}});
    }
    Json moments = Json::array();
    for (const Moment& moment : outcome.result.moments) {
        moments.push_back(momentJson(moment, now));
    }
    return {{"label", outcome.label},
            {"mock", outcome.mock},
            {"answer", answer},
            {"moments", moments},
            {"dropped", outcome.result.answer.dropped}};
}

} // namespace brell::CitedAnswer
