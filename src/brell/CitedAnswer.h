#pragma once
// The one model request behind `brell ask --ai`, `brell moments --ai` and
// `brell brief --ai`: the question's candidate passages (saved quotes that match it,
// then memory, screen text and recent sources), fitted to the provider's input budget,
// sent with AnswerComposer's instruction and schema; the reply read into moments and
// verified answer sentences.
//
// With BRELL_MOCK_AI=1 no provider is asked: a deterministic reply is built from the
// candidates themselves (`mockReply`), so demos and tests run without a network, and
// the result says it is a mock.
//
// Used by the command thread only. `ask` throws what the structured call throws (the
// provider's failure) and the store's DBError; nothing in the reply makes it fail.
// `run` turns a provider's failure into a CommandError carrying its sentence.
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellMemory/recall/AnswerComposer.h"
#include "BrellMemory/recall/Moment.h"
#include "BrellMemory/store/ChunkRecord.h"
#include "util/Json.h"

namespace brell {

class AppContext;
class MemoryStore;

namespace CitedAnswer {

// What one request sends: passages of about this many characters each, as many as fit
// the budget (in characters of passage text, 160 more allowed per passage for its
// framing), gathered from at most `candidateLimit` memory passages and the chunks of
// the `recentSources` most recently seen sources. The on-device model takes what its
// context allows (ProviderInsightModel::inputBudget); every other provider, and the mock,
// `defaultBudget`: 12,000 characters (about a dozen passages) keep a request within a
// few thousand tokens, which the cloud providers and Claude Code answer well inside
// their deadlines.
inline constexpr std::size_t charsEach = 800;
inline constexpr std::size_t defaultBudget = 12000;
inline constexpr std::size_t candidateLimit = 24;
inline constexpr int64_t recentSources = 5;
// At most this many of the user's saved quotes that match the question go first.
inline constexpr std::size_t savedQuoteLimit = 3;

// The label of a mock reply, as the answer's writer.
inline constexpr std::string_view mockLabel = "Mock \u00B7 test mode";

// The provider's one structured call: system text, input object, schema, schema name.
using StructuredCall =
    std::function<Json(const std::string& system, const Json& input, const Json& schema, const std::string& name)>;

// A saved quote on the board, as a candidate passage (ChunkRecord::saved).
struct SavedQuote {
    std::string key; // the card's id
    std::string title;
    std::optional<std::string> url;
    std::string text;
    std::string lane;
    double capturedAt = 0;
};

struct Result {
    std::vector<ChunkRecord> candidates; // the passages sent, in order
    std::vector<Moment> moments;         // at most 3, best first
    AnswerComposer::Parsed answer;       // verified sentences and how many were dropped
};

// The passages of one request: the saved quotes matching the question (at most
// savedQuoteLimit), then the store's moment candidates, the whole fitted to `budget`.
std::vector<ChunkRecord> candidates(MemoryStore& store, std::string_view question, const std::vector<SavedQuote>& saved,
                                    std::size_t budget);

// Sends the request for `candidates` through `call` and reads the reply.
Result ask(MemoryStore& store, std::string_view question, std::vector<ChunkRecord> candidates,
           const StructuredCall& call);

// A reply no model wrote: the passages that match the question's words (at most 3) as
// moments, at the cue that matches best, and the first sentence of each of the first
// two, in the passage's own words, as the answer. The same candidates give the same reply.
Json mockReply(std::string_view question, const std::vector<ChunkRecord>& candidates);

// ---- The commands' side ----

// A request answered, with who wrote the reply.
struct Outcome {
    Result result;
    std::string label; // the writer's label, mockLabel for a mock
    bool mock = false;
};

// The quotes saved on the board (Evidence and Notes); none when the board can't be read.
std::vector<SavedQuote> savedQuotes(AppContext& context);

// Runs the request for the question: a mock with BRELL_MOCK_AI=1, otherwise through the
// provider and model saved by `brell ai use` (AIChoice), within the provider's deadline
// (AIProvider::deadline); Ctrl-C cancels it. Throws CommandError with one sentence when
// AI is off or the provider fails (the ExplainError's message: no key, timeout,
// cancelled, refused, offline…), and the store's DBError.
Outcome run(AppContext& context, std::string_view question);

// The answer as people read it: the sentences with their quote, place, exposure and
// link, then the moments, then how many sentences were left out.
void print(std::ostream& out, const Outcome& outcome);
// The moments alone, each with the model's reason.
void printMoments(std::ostream& out, const Outcome& outcome);
// {"label", "mock", "answer": [...], "moments": [...], "dropped"}.
Json toJson(const Outcome& outcome);
// "2 sentences were left out because the passages didn't support them."
std::string droppedLine(int dropped);

} // namespace CitedAnswer
} // namespace brell
