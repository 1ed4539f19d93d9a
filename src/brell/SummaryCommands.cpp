// brell screen summarize and brell catch-up: screen memory read by the AI provider the
// user chose. Summaries give kept windows a line and a topic group; the catch-up reviews
// the last day's mail and chat windows for what still needs the user. Window text goes
// only to the chosen provider (in test mode, BRELL_MOCK_AI=1, to nothing at all), and
// the catch-up says where before its first request when it runs on a terminal.
#include <algorithm>
#include <chrono>
#include <optional>

#include <CLI/CLI.hpp>

#include "BrellCore/ai/AICall.h"
#include "BrellCore/ai/AIProvider.h"
#include "BrellCore/ai/ExplainError.h"
#include "BrellCore/ai/ProviderInsightModel.h"
#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/screen/CatchUp.h"
#include "BrellMemory/screen/ScreenSummary.h"
#include "brell/AIChoice.h"
#include "brell/AppContext.h"
#include "brell/AppSettings.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "platform/InterruptWatch.h"
#include "util/DateFormat.h"
#include "util/ISODate.h"
#include "util/Text.h"

namespace brell {
namespace {

constexpr int64_t maxLimit = 10000;
// The most mail and chat windows one catch-up reads; the review's own budget (40,000
// characters) usually stops well before.
constexpr int64_t catchUpWindows = 200;
// A mock answer takes this long, so that test mode feels like a model and Ctrl-C can
// be tried on it.
constexpr double mockDelaySeconds = 0.15;
constexpr const char* summaryName = "brell_screen_summary";
constexpr const char* catchUpName = "brell_catch_up";

// The provider, model and key the user chose (brell ai use), and the one structured call
// through them.
struct Provider {
    ProviderInsightModel model;
    bool mock = false;

    std::string label() const { return mock ? "Mock \u00B7 test mode" : model.label(); }
};

Provider chosenProvider(bool cheap) {
    ProviderInsightModel model = AIChoice::select(AIChoice::saved(AppSettings::load(AppSettings::defaultPath())));
    if (model.provider == AIProvider::off) {
        throw CommandError("Choose an AI provider first: brell ai use PROVIDER (brell ai status lists them).");
    }
    if (cheap) {
        model.model = ScreenSummary::cheapModel(model.provider.rawValue(), model.model);
    }
    Provider chosen{std::move(model), AIChoice::mockMode()};
    if (!chosen.mock && chosen.model.provider.environmentKey() && chosen.model.apiKey.empty()) {
        throw CommandError(ExplainError::noKey().message());
    }
    return chosen;
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::string word;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
            if (!word.empty()) {
                out.push_back(std::move(word));
                word.clear();
            }
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        out.push_back(std::move(word));
    }
    return out;
}

std::string firstWords(std::string_view text, std::size_t count) {
    auto all = words(text);
    std::string out;
    for (std::size_t i = 0; i < all.size() && i < count; ++i) {
        out += (out.empty() ? "" : " ") + all[i];
    }
    return out;
}

// Test mode's summary, built from the request alone: the window's size and app, and
// the first two words of its title as the group.
Json mockSummary(const Json& input) {
    std::string text = JsonText::string(JsonText::member(input, "text")).value_or("");
    std::string app = JsonText::string(JsonText::member(input, "app")).value_or("");
    std::string title = JsonText::string(JsonText::member(input, "window_title")).value_or("");
    return {{"summary", "MOCK SUMMARY (test mode, not a real model): a " + std::to_string(words(text).size()) +
                            "-word window of " + app + "."},
            {"group", firstWords(title, 2)}};
}

// Test mode's catch-up: one item per window sent, urgent when its text asks something.
Json mockCatchUp(const Json& input) {
    Json items = Json::array();
    const Json& captures = JsonText::member(input, "captures");
    if (captures.is_array()) {
        for (const Json& c : captures) {
            std::string text = JsonText::string(JsonText::member(c, "text")).value_or("");
            items.push_back(
                {{"captureId", JsonText::member(c, "id")},
                 {"from", "Mock sender"},
                 {"summary", "MOCK (test mode, not a real model): " + firstWords(text, 8)},
                 {"whyItMatters", "Seen in " + JsonText::string(JsonText::member(c, "app")).value_or("") + "."},
                 {"urgency", text.find('?') != std::string::npos ? "high" : "normal"}});
        }
    }
    return {{"items", items}};
}

// One request through the chosen provider (or test mode's mock); throws ExplainError.
Json ask(const Provider& provider, const char* system, const Json& input, const OrderedJson& schema, const char* name,
         const CancelToken& cancel) {
    if (cancel.cancelled()) {
        throw ExplainError::cancelled();
    }
    if (provider.mock) {
        if (cancel.waitFor(std::chrono::duration<double>(mockDelaySeconds))) {
            throw ExplainError::cancelled();
        }
        return name == std::string_view(summaryName) ? mockSummary(input) : mockCatchUp(input);
    }
    return AICall::ask(provider.model, system, input, schema, name, cancel);
}

// Remembered text as it may travel in JSON: ill-formed bytes become U+FFFD.
ScreenCapture sendable(ScreenCapture capture) {
    capture.appName = Text::sanitizeUTF8(capture.appName);
    capture.windowTitle = Text::sanitizeUTF8(capture.windowTitle);
    capture.text = Text::sanitizeUTF8(capture.text);
    return capture;
}

// A progress line on a terminal's standard error, rewritten in place.
class ProgressLine {
public:
    explicit ProgressLine(AppContext& context) : context_(context), shown_(context.progressIsTerminal()) {}
    ~ProgressLine() { clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(const std::string& line) {
        if (shown_) {
            context_.progress << "\r\033[K" << line << std::flush;
            dirty_ = true;
        }
    }
    void clear() {
        if (dirty_) {
            context_.progress << "\r\033[K" << std::flush;
            dirty_ = false;
        }
    }

private:
    AppContext& context_;
    bool shown_;
    bool dirty_ = false;
};

void summarize(AppContext& context, std::optional<int64_t> id, int64_t limit) {
    MemoryStore& store = context.memory();
    std::vector<ScreenCapture> targets;
    if (id) {
        auto capture = store.screenCapture(*id);
        if (!capture) {
            throw CommandError("screen memory holds no window " + std::to_string(*id) +
                               "; list them with: brell screen list");
        }
        targets.push_back(*capture);
    } else {
        targets = store.screenCapturesToSummarize(limit);
    }
    if (targets.empty()) {
        context.out << "Every window in screen memory has an up-to-date summary.\n";
        return;
    }
    Provider provider = chosenProvider(true);
    if (context.progressIsTerminal()) {
        context.err << "Summarising " << targets.size() << (targets.size() == 1 ? " window" : " windows") << " with "
                    << provider.label() << ".\n"
                    << std::flush;
    }
    const std::size_t budget = static_cast<std::size_t>(provider.model.inputBudget());
    const std::size_t total = targets.size();
    std::size_t done = 0;
    std::size_t stored = 0;

    CancelToken cancel;
    InterruptWatch interrupt(cancel);
    ProgressLine progress(context);
    for (const auto& target : targets) {
        // Read afresh for each window, so groups made earlier in this run are reused.
        std::vector<std::string> groups;
        for (const auto& group : store.screenGroups(static_cast<int64_t>(ScreenSummary::maxExistingGroups))) {
            groups.push_back(group.name);
        }
        ScreenCapture capture = sendable(target);
        Json answer;
        try {
            answer = ask(provider, ScreenSummary::system, ScreenSummary::input(capture, budget, groups),
                         ScreenSummary::schema(), summaryName, cancel);
        } catch (const ExplainError& e) {
            progress.clear();
            if (e.kind() == ExplainError::Kind::cancelled || interrupt.interrupted()) {
                throw CommandError("Stopped: summarised " + std::to_string(stored) + " of " + std::to_string(total) +
                                   (total == 1 ? " window" : " windows") +
                                   "; what was done is kept, and brell screen summarize goes on from there.");
            }
            throw CommandError(e.message());
        }
        ++done;
        auto summary = ScreenSummary::parse(answer);
        auto group = ScreenSummary::parseGroup(answer, groups, capture.appName);
        progress.clear();
        if (summary) {
            store.setScreenSummary(target.id, *summary, group);
            ++stored;
            auto shownGroup = group ? group : target.group;
            context.out << "#" << target.id << "  " << (shownGroup ? "[" + TextOutput::oneLine(*shownGroup) + "] " : "")
                        << TextOutput::oneLine(*summary) << "\n";
        } else {
            context.out << "#" << target.id << "  no usable summary came back; nothing was stored.\n";
        }
        context.out.flush();
        progress.show("summarised " + std::to_string(done) + " of " + std::to_string(total));
    }
    progress.clear();
    context.out << "Summarised " << stored << " of " << total << (total == 1 ? " window" : " windows") << ".\n";
}

// Where a review's text goes, as the line shown before the first request says it.
std::string destination(const Provider& provider) {
    if (provider.mock) {
        return "test mode (BRELL_MOCK_AI=1), so nothing is sent anywhere";
    }
    AIProvider p = provider.model.provider;
    if (p.isOnDevice()) {
        return "their text stays on this Mac";
    }
    return "their text is sent to " + std::string(p.displayName());
}

OrderedJson itemJson(const CatchUpItem& item) {
    return {{"id", item.id()},
            {"captureId", item.capture.id},
            {"app", item.capture.appName},
            {"window", item.capture.windowTitle},
            {"seen", ISODate::format(item.capture.lastAt)},
            {"from", item.from},
            {"summary", item.summary},
            {"whyItMatters", item.whyItMatters},
            {"urgency", item.urgency}};
}

void catchUp(AppContext& context, bool json) {
    MemoryStore& store = context.memory();
    Provider provider = chosenProvider(false);
    std::vector<ScreenCapture> captures;
    for (const auto& capture : store.catchUpCaptures(catchUpWindows)) {
        captures.push_back(sendable(capture));
    }
    if (captures.empty()) {
        if (json) {
            TextOutput::printJson(context.out, OrderedJson{{"provider", provider.label()},
                                                           {"windows", 0},
                                                           {"reviewed", 0},
                                                           {"error", nullptr},
                                                           {"items", OrderedJson::array()}});
            return;
        }
        context.out << "Screen memory saw no mail or chat windows in the last 24 hours, so there is nothing to "
                       "review.\n";
        return;
    }
    if (context.progressIsTerminal()) {
        context.err << "Reviewing " << captures.size()
                    << (captures.size() == 1 ? " mail or chat window" : " mail and chat windows")
                    << " from the last 24 hours with " << provider.label() << ": " << destination(provider) << ".\n"
                    << std::flush;
    }

    CancelToken cancel;
    InterruptWatch interrupt(cancel);
    ProgressLine progress(context);
    auto call = [&](const Json& input) {
        return ask(provider, CatchUp::system, input, CatchUp::schema(), catchUpName, cancel);
    };
    auto heard = [&](std::size_t done, std::size_t total) {
        if (done < total) {
            progress.show("reviewed " + std::to_string(done) + " of " + std::to_string(total) + " parts");
        }
    };
    CatchUp::Review review = CatchUp::reviewAll(captures, provider.model.inputBudget(), call, heard);
    progress.clear();
    if (interrupt.interrupted() || cancel.cancelled()) {
        throw CommandError(ExplainError::cancelled().message());
    }
    std::optional<std::string> failure;
    if (review.error) {
        try {
            std::rethrow_exception(review.error);
        } catch (const ExplainError& e) {
            failure = e.message();
        }
        if (review.failed == review.batches) {
            throw CommandError(*failure);
        }
    }

    if (json) {
        OrderedJson items = OrderedJson::array();
        for (const auto& item : review.items) {
            items.push_back(itemJson(item));
        }
        TextOutput::printJson(context.out, OrderedJson{{"provider", provider.label()},
                                                       {"windows", captures.size()},
                                                       {"reviewed", review.reviewed},
                                                       {"error", failure ? OrderedJson(*failure) : OrderedJson()},
                                                       {"items", items}});
    } else {
        auto& out = context.out;
        if (review.items.empty()) {
            out << (failure ? "Nothing needs you in the part that could be reviewed.\n" : "Nothing needs you.\n");
        }
        std::size_t n = 0;
        for (const auto& item : review.items) {
            out << ++n << ". [" << TextOutput::oneLine(item.urgency.empty() ? "normal" : item.urgency) << "] "
                << TextOutput::oneLine(item.from.empty() ? "Someone" : item.from) << ": "
                << TextOutput::oneLine(item.summary) << "\n";
            if (!Text::isBlank(item.whyItMatters)) {
                out << "   Why it matters: " << TextOutput::oneLine(item.whyItMatters) << "\n";
            }
            out << "   " << TextOutput::oneLine(item.capture.label()) << ", seen "
                << DateFormat::format(item.capture.lastAt, "EEE HH:mm") << "\n";
        }
        if (review.reviewed < captures.size()) {
            out << "Reviewed the newest " << review.reviewed << " of " << captures.size()
                << " mail and chat windows; the older ones did not fit in one catch-up.\n";
        }
    }
    if (failure) {
        context.err << "Only " << (review.batches - review.failed) << " of " << review.batches
                    << " parts of the review were answered; the others failed: " << *failure << "\n";
    }
}

} // namespace

void registerSummaryCommands(CLI::App& app, AppContext& context) {
    struct SummarizeOptions {
        std::optional<int64_t> id;
        bool pending = false;
        int64_t limit = 50;
    };
    auto opts = std::make_shared<SummarizeOptions>();
    auto* screen = app.get_subcommand("screen");
    auto* sub = screen->add_subcommand("summarize",
                                       "Summarise kept windows and sort them into topic groups with your AI provider");
    auto* id = sub->add_option("--id", opts->id, "One window, as brell screen list shows it");
    auto* pending =
        sub->add_flag("--pending", opts->pending, "Every window whose text changed since its summary (the default)");
    id->excludes(pending);
    auto* limit = sub->add_option("--limit", opts->limit, "Most windows to summarise (default 50)")
                      ->check(CLI::Range(int64_t{1}, maxLimit));
    limit->excludes(id);
    sub->callback([&context, opts] { summarize(context, opts->id, opts->limit); });

    auto json = std::make_shared<bool>(false);
    auto* catchUpCommand =
        app.add_subcommand("catch-up", "List what still needs you in the last 24 hours of mail and chat windows");
    catchUpCommand->add_flag("--json", *json, "Print the items as JSON");
    catchUpCommand->callback([&context, json] { catchUp(context, *json); });
}

} // namespace brell
