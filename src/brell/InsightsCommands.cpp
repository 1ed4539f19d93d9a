// brell insights …: suggestions for a brell's task: preparing them with the chosen AI
// provider (or from memory alone), the next one to act on, the list, the user's answer,
// and the switches that govern them.
#include <CLI/CLI.hpp>

#include "BrellCore/ai/AIProvider.h"
#include "BrellCore/ai/Explainer.h"
#include "BrellCore/ai/ProviderInsightModel.h"
#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/insights/InsightEngine.h"
#include "BrellMemory/insights/TemplateCandidate.h"
#include "brell/AIChoice.h"
#include "brell/AppContext.h"
#include "brell/AppSettings.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "util/DateFormat.h"
#include "util/ISODate.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

const std::string reasonsList = "useful, saved, known, not_relevant, wrong_project, dismissed or mute_source";

// Test mode's model: proposes comparing two passages of different sources from what
// it is given, and finds every claim supported. No network, no model.
class MockInsightModel : public InsightModel {
public:
    std::string label() const override { return "Mock \u00b7 test mode"; }
    double timeout() const override { return 1; }

    std::optional<Json> propose(const Json& input, const CancelToken&) const override {
        const Json& task = JsonText::member(input, "task");
        const Json& evidence = JsonText::member(input, "evidence");
        if (!evidence.is_array()) {
            return Json{{"candidate", nullptr}};
        }
        const Json* first = nullptr;
        const Json* second = nullptr;
        for (const Json& e : evidence) {
            if (!first) {
                if (JsonText::member(e, "type") != "comment") {
                    first = &e;
                }
            } else if (JsonText::member(e, "source") != JsonText::member(*first, "source")) {
                second = &e;
                break;
            }
        }
        if (!first || !second) {
            return Json{{"candidate", nullptr}};
        }
        auto text = [](const Json& e, const char* key) {
            return JsonText::string(JsonText::member(e, key)).value_or("");
        };
        auto claim = [&](const Json& e) { return TemplateCandidate::clip(text(e, "excerpt"), 150); };
        std::string title = text(task, "title");
        Json candidate = {
            {"relationship", "missed_detail"},
            {"projectId", JsonText::member(task, "projectId")},
            {"taskId", JsonText::member(task, "taskId")},
            {"title", TemplateCandidate::clip("Compare what two sources say about your task", 80)},
            {"whyNow", TemplateCandidate::clip("Test mode: two passages in your memory bear on \u201c" +
                                                   TemplateCandidate::clip(title, 60) + "\u201d.",
                                               160)},
            {"nextStep", TemplateCandidate::clip("Open " + text(*first, "where") + " in \u201c" +
                                                     TemplateCandidate::clip(text(*first, "source"), 50) +
                                                     "\u201d and check it against \u201c" +
                                                     TemplateCandidate::clip(text(*second, "source"), 50) +
                                                     "\u201d before you change anything.",
                                                 230)},
            {"expectedOutcome", "You see whether the two sources agree."},
            {"uncertainty", nullptr},
            {"evidence", Json::array({{{"chunkId", JsonText::member(*first, "chunkId")},
                                       {"role", "missed_detail"},
                                       {"claim", claim(*first)}},
                                      {{"chunkId", JsonText::member(*second, "chunkId")},
                                       {"role", "corroboration"},
                                       {"claim", claim(*second)}}})},
            {"dedupeKey", "mock"}};
        return Json{{"candidate", candidate}};
    }

    Json verify(const Json& input, const CancelToken&) const override {
        Json claims = Json::array();
        const Json& given = JsonText::member(input, "claims");
        for (std::size_t i = 0; given.is_array() && i < given.size(); ++i) {
            claims.push_back({{"index", i}, {"verdict", "supported"}});
        }
        return {{"claims", claims}, {"differences", nullptr}, {"actionFollows", true}};
    }
};

// The model the user's choice gives, or none for off.
std::shared_ptr<const InsightModel> chosenModel(const ProviderInsightModel& choice) {
    if (choice.provider == AIProvider::off) {
        return nullptr;
    }
    if (AIChoice::mockMode()) {
        return std::make_shared<MockInsightModel>();
    }
    return std::make_shared<ProviderInsightModel>(choice);
}

// Why memory text may not go to the provider now, or nothing when it may.
std::optional<std::string> providerRefusal(MemoryStore& store, const ProviderInsightModel& choice) {
    if (choice.provider == AIProvider::off) {
        return "no AI provider is chosen; choose one with: brell ai use PROVIDER";
    }
    MemoryState s = store.state();
    if (!s.providerConsent) {
        return "you have not allowed sending passages of your memory to " + std::string(choice.provider.displayName()) +
               "; allow it with: brell insights allow-ai on";
    }
    if (!s.proactive) {
        return "proactive suggestions are off; turn them on with: brell insights proactive on";
    }
    return std::nullopt;
}

std::string plural(int64_t n, const std::string& one, const std::string& many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A suggestion made without AI for the brell's task as it is now, still open.
bool heldTemplate(MemoryStore& store, int64_t projectID) {
    auto task = store.currentTask(projectID);
    for (const auto& i : store.insights(projectID, {InsightStatus::new_, InsightStatus::shown})) {
        if (task && i.taskID == task->id && i.taskRevision == task->revision && i.origin == "template") {
            return true;
        }
    }
    return false;
}

void prepare(AppContext& context, const std::string& brell, bool force) {
    Project p = findBrell(context, brell);
    MemoryStore& store = context.memory();
    const ProviderInsightModel choice =
        AIChoice::select(AIChoice::saved(AppSettings::load(AppSettings::defaultPath())));
    std::optional<std::string> refusal = providerRefusal(store, choice);
    std::shared_ptr<const InsightModel> model = chosenModel(choice);
    InsightEngine engine(store, model, [&store, &choice] { return !providerRefusal(store, choice); });
    std::string label = model ? model->label() : Explainer::label(choice.provider, choice.model);
    std::string id = std::to_string(p.id);
    auto outcome = engine.prepare(p.id, force);
    std::ostream& out = context.out;
    switch (outcome.kind) {
    case InsightEngine::Prepared::Kind::generated:
        out << "Asked " << label << " about the task of brell " << id << ": "
            << (outcome.count == 0 ? "nothing new to suggest"
                                   : plural(outcome.count, "suggestion", "suggestions") + " prepared")
            << ".\n";
        break;
    case InsightEngine::Prepared::Kind::localOnly: {
        std::string why;
        if (outcome.reason == "budget_exhausted") {
            why = "today's " + std::to_string(store.config.modelDailyBudget) +
                  " AI requests for suggestions are used up; the AI is asked again tomorrow";
        } else if (outcome.reason == "provider_unavailable") {
            why = label + " failed or did not answer in time";
        } else {
            why = refusal.value_or("no AI provider may be asked");
        }
        if (heldTemplate(store, p.id)) {
            out << "Prepared a suggestion from your memory alone, without AI: " << why << ".\n"
                << "It is kept for you to look at, never pushed: brell insights next " << id << "\n";
        } else {
            out << "Without AI (" << why << "), no suggestion could be made: your memory holds no passage on this "
                << "task that you have not already watched or read, beside another source to compare it with.\n";
        }
        break;
    }
    case InsightEngine::Prepared::Kind::cached:
        out << "Nothing changed in the passages for this task since the last preparation; "
            << "prepare anew with: brell insights prepare " << id << " --force\n";
        if (refusal) {
            out << "AI is not asked: " << *refusal << ".\n";
        }
        break;
    case InsightEngine::Prepared::Kind::noContext:
        throw CommandError("brell " + id +
                           " has no task in progress (or its task changed meanwhile); set one with: "
                           "brell task set " +
                           id + " TITLE");
    case InsightEngine::Prepared::Kind::noEvidence:
        out << "Your memory holds no passages about the task of brell " << id
            << " yet; watch or read something about it, or add key words with: brell brells rename " << id
            << " NAME --keywords WORDS\n";
        break;
    }
}

// The context a command-line run shows: the brell's task as it is now, so asking again
// shows the same suggestion until the task changes.
int64_t contextRevision(const ProjectTask& task) {
    return task.id * 1'000'000 + task.revision;
}

std::string exposureWords(const InsightEvidence& e) {
    return e.exposure ? display(*e.exposure, e.chunk.sourceKind) : "";
}

void printCard(AppContext& context, const Project& p, const Insight& i, const std::string& note) {
    std::ostream& out = context.out;
    out << "Suggestion " << i.id << " for brell " << p.id << " \u201c" << TextOutput::oneLine(p.name) << "\u201d"
        << (note.empty() ? "" : " (" + note + ")") << "\n";
    out << TextOutput::oneLine(i.title) << "\n";
    out << "Why now: " << TextOutput::oneLine(i.whyNow) << "\n";
    out << "Next step: " << TextOutput::oneLine(i.nextStep) << "\n";
    if (i.expectedOutcome) {
        out << "Expected: " << TextOutput::oneLine(*i.expectedOutcome) << "\n";
    }
    if (i.uncertainty) {
        out << "Uncertain: " << TextOutput::oneLine(*i.uncertainty) << "\n";
    }
    out << "Evidence:\n";
    for (std::size_t k = 0; k < i.evidence.size(); ++k) {
        const InsightEvidence& e = i.evidence[k];
        std::string exposure = exposureWords(e);
        out << "  " << k + 1 << ". " << TextOutput::oneLine(e.label) << (exposure.empty() ? "" : " \u2014 " + exposure)
            << "\n";
        if (e.claim && !e.claim->empty()) {
            out << "     \u201c" << TextOutput::oneLine(*e.claim) << "\u201d\n";
        }
        out << "     " << TextOutput::oneLine(e.openURL) << "\n";
    }
    if (i.evidence.empty()) {
        out << "  (the passages it cited are no longer in memory)\n";
    }
    out << (i.origin == "model" ? "Written by " + TextOutput::oneLine(i.model.value_or("an AI model"))
                                : std::string("Made from your memory without AI"))
        << (i.isFromFixture() ? "; the passages are demonstration data" : "") << ".\n";
    out << "Answer with: brell insights feedback " << i.id << " REASON (" << reasonsList << ")\n";
}

void next(AppContext& context, const std::string& brell, std::optional<int64_t> context_) {
    Project p = findBrell(context, brell);
    MemoryStore& store = context.memory();
    std::string id = std::to_string(p.id);
    int64_t revision = context_.value_or(p.task ? contextRevision(*p.task) : 0);
    auto result = store.deliver(p.id, revision);
    if (result.kind == MemoryStore::DeliveryResult::Kind::card) {
        printCard(context, p, *result.insight, "");
        return;
    }
    const std::string& reason = result.reason;
    std::ostream& out = context.out;
    if (reason == "off") {
        MemoryState s = store.state();
        out << (s.enabled ? "Proactive suggestions are off; turn them on with: brell insights proactive on\n"
                          : "Memory is off, so no suggestions are shown; switch it on with: brell memory on\n");
    } else if (reason == "snoozed") {
        MemoryState s = store.state();
        out << "Suggestions are snoozed until " << DateFormat::format(s.snoozeUntil.value_or(0), "d MMM yyyy, HH:mm")
            << "; resume them with: brell insights snooze off\n";
    } else if (reason == "no_context") {
        if (p.archived) {
            out << "Brell " << id << " is archived; bring it back with: brell brells unarchive " << id << "\n";
        } else if (p.muted) {
            out << "Brell " << id << " is muted; unmute it with: brell brells unmute " << id << "\n";
        } else {
            out << "Brell " << id << " has no task in progress; set one with: brell task set " << id << " TITLE\n";
        }
    } else if (reason == "cooldown") {
        out << "A suggestion for brell " << id << " was shown less than "
            << static_cast<int64_t>(store.config.projectCooldown / 60) << " minutes ago; ask again later.\n";
    } else {
        // Nothing may be pushed; the user asked, so a suggestion held back is shown as such.
        for (const auto& held : store.insights(p.id, {InsightStatus::new_})) {
            if (p.task && held.taskID == p.task->id && held.taskRevision == p.task->revision && !held.eligible) {
                printCard(context, p, held,
                          "held back: " + (held.origin == "template" ? std::string("made without AI")
                                                                     : held.holdReason.value_or("low_value")));
                return;
            }
        }
        out << (reason == "stale"
                    ? "The suggestions prepared for brell " + id + " no longer hold: the passages they cite changed"
                    : "There is no suggestion for the task of brell " + id + " yet")
            << "; prepare one with: brell insights prepare " << id << "\n";
    }
}

Json insightJson(const Insight& i) {
    Json evidence = Json::array();
    for (const auto& e : i.evidence) {
        evidence.push_back({{"chunkID", e.chunk.id},
                            {"sourceID", e.chunk.sourceID},
                            {"label", e.label},
                            {"role", e.role},
                            {"claim", e.claim ? Json(*e.claim) : Json(nullptr)},
                            {"verdict", e.verdict ? Json(*e.verdict) : Json(nullptr)},
                            {"exposure", e.exposure ? Json(rawValue(*e.exposure)) : Json(nullptr)},
                            {"cueMs", e.cueMs ? Json(*e.cueMs) : Json(nullptr)},
                            {"openURL", e.openURL}});
    }
    auto opt = [](const std::optional<std::string>& v) { return v ? Json(*v) : Json(nullptr); };
    return {{"id", i.id},
            {"brell", i.projectID},
            {"taskID", i.taskID},
            {"taskRevision", i.taskRevision},
            {"status", rawValue(i.status)},
            {"relationship", i.relationship},
            {"title", i.title},
            {"whyNow", i.whyNow},
            {"nextStep", i.nextStep},
            {"expectedOutcome", opt(i.expectedOutcome)},
            {"uncertainty", opt(i.uncertainty)},
            {"origin", i.origin},
            {"model", opt(i.model)},
            {"score", i.score},
            {"eligible", i.eligible},
            {"holdReason", opt(i.holdReason)},
            {"createdAt", ISODate::format(i.createdAt)},
            {"lastShown", i.lastShown ? Json(ISODate::format(*i.lastShown)) : Json(nullptr)},
            {"fromFixture", i.isFromFixture()},
            {"evidence", evidence}};
}

void list(AppContext& context, const std::string& brell, const std::vector<std::string>& statusNames, bool json) {
    Project p = findBrell(context, brell);
    std::vector<InsightStatus> statuses;
    if (statusNames.empty()) {
        statuses = {InsightStatus::new_, InsightStatus::shown, InsightStatus::saved, InsightStatus::useful};
    }
    for (const auto& name : statusNames) {
        if (name == "all") {
            statuses.assign(allInsightStatuses.begin(), allInsightStatuses.end());
            break;
        }
        statuses.push_back(*insightStatusFromRaw(name));
    }
    auto found = context.memory().insights(p.id, statuses);
    if (json) {
        Json all = Json::array();
        for (const auto& i : found) {
            all.push_back(insightJson(i));
        }
        TextOutput::printJson(context.out, all);
        return;
    }
    if (found.empty()) {
        context.out << "No suggestions for brell " << p.id << " with "
                    << (statusNames.empty() ? "an open or kept status" : "that status")
                    << "; prepare some with: brell insights prepare " << p.id << "\n";
        return;
    }
    for (const auto& i : found) {
        std::string status = rawValue(i.status);
        if (i.status == InsightStatus::new_ && !i.eligible) {
            status += ", held: " + i.holdReason.value_or("low_value");
        } else if (i.status == InsightStatus::withdrawn) {
            status += ": " + i.holdReason.value_or("stale");
        }
        char score[16];
        std::snprintf(score, sizeof score, "%.3g", i.score);
        context.out << "#" << i.id << "  [" << status << "] " << TextOutput::oneLine(i.title) << "  (score " << score
                    << (i.origin == "template" ? ", made without AI" : "") << ")\n";
        context.out << "    Next step: " << TextOutput::oneLine(i.nextStep) << "\n";
        for (const auto& e : i.evidence) {
            std::string exposure = exposureWords(e);
            context.out << "    - " << TextOutput::oneLine(e.label) << (exposure.empty() ? "" : " \u2014 " + exposure)
                        << "\n";
        }
    }
}

std::string statusWords(FeedbackReason reason) {
    switch (reason) {
    case FeedbackReason::useful:
        return "marked useful";
    case FeedbackReason::saved:
        return "saved";
    case FeedbackReason::notRelevant:
        return "marked not relevant";
    case FeedbackReason::known:
        return "marked as something you knew";
    case FeedbackReason::wrongProject:
        return "marked as meant for another brell";
    case FeedbackReason::dismissed:
    case FeedbackReason::muteSource:
        return "dismissed";
    }
    return "dismissed";
}

void feedback(AppContext& context, int64_t id, const std::string& reasonName, std::optional<int64_t> source) {
    MemoryStore& store = context.memory();
    FeedbackReason reason = *feedbackReasonFromRaw(reasonName);
    auto before = store.insight(id);
    if (!before) {
        throw CommandError("there is no suggestion " + std::to_string(id) +
                           "; list them with: brell insights list BRELL");
    }
    if (reason == FeedbackReason::muteSource) {
        if (!source) {
            throw CommandError("name the source to mute with --source ID (the sources are listed by: brell sources)");
        }
        if (!store.source(*source)) {
            throw CommandError("there is no source " + std::to_string(*source) + "; list them with: brell sources");
        }
    }
    store.feedback(id, reason, reason == FeedbackReason::muteSource ? source : std::nullopt);
    std::ostream& out = context.out;
    if (before->status == InsightStatus::withdrawn) {
        out << "Noted. Suggestion " << id << " was withdrawn and stays so; its step will not be proposed again.\n";
    } else {
        out << "Suggestion " << id << " is " << statusWords(reason) << ".";
        if (reason != FeedbackReason::wrongProject) {
            out << " Its step will not be proposed again for this brell.";
        }
        out << "\n";
    }
    if (reason == FeedbackReason::muteSource) {
        out << "Source " << *source << " is muted; suggestions citing it were withdrawn.\n";
    }
}

void restore(AppContext& context, int64_t id) {
    MemoryStore& store = context.memory();
    auto insight = store.insight(id);
    if (!insight) {
        throw CommandError("there is no suggestion " + std::to_string(id) +
                           "; list them with: brell insights list BRELL");
    }
    if (!store.restoreInsight(id)) {
        throw CommandError("suggestion " + std::to_string(id) + " is " + rawValue(insight->status) +
                           "; only dismissed, known, not relevant or wrong-brell suggestions can be restored");
    }
    context.out << "Suggestion " << id << " is back among the ones shown.\n";
}

struct InsightsOptions {
    std::string brell;
    bool force = false;
    std::optional<int64_t> contextRevision;
    std::vector<std::string> statuses;
    bool json = false;
    int64_t id = 0;
    std::string reason;
    std::optional<int64_t> source;
    std::string onOff;
    std::string snooze;
};

std::vector<std::string> statusNames() {
    std::vector<std::string> names = {"all"};
    for (auto s : allInsightStatuses) {
        names.push_back(rawValue(s));
    }
    return names;
}

std::vector<std::string> reasonNames() {
    std::vector<std::string> names;
    for (auto r : allFeedbackReasons) {
        names.push_back(rawValue(r));
    }
    return names;
}

} // namespace

void registerInsightsCommands(CLI::App& app, AppContext& context) {
    auto o = std::make_shared<InsightsOptions>();
    auto* insights = app.add_subcommand("insights", "Suggestions for a brell's task: prepare, show the next, answer");
    insights->require_subcommand(1);

    auto* prep = insights->add_subcommand("prepare", "Look through memory for the task and prepare suggestions");
    prep->add_option("BRELL", o->brell, "The brell's id or name")->required();
    prep->add_flag("--force", o->force, "Prepare again even when nothing changed");
    prep->callback([&context, o] { prepare(context, o->brell, o->force); });

    auto* nextCommand = insights->add_subcommand("next", "Show the next suggestion for the brell's task");
    nextCommand->add_option("BRELL", o->brell, "The brell's id or name")->required();
    nextCommand->add_option("--context", o->contextRevision,
                            "A number naming what you are looking at (default: the task as it is now)");
    nextCommand->callback([&context, o] { next(context, o->brell, o->contextRevision); });

    auto* listCommand = insights->add_subcommand("list", "List the brell's suggestions");
    listCommand->add_option("BRELL", o->brell, "The brell's id or name")->required();
    listCommand->add_option("--status", o->statuses, "Only these statuses (default: new, shown, saved, useful)")
        ->check(CLI::IsMember(statusNames()));
    listCommand->add_flag("--json", o->json, "Print the suggestions as JSON");
    listCommand->callback([&context, o] { list(context, o->brell, o->statuses, o->json); });

    auto* feedbackCommand = insights->add_subcommand("feedback", "Say what you think of a suggestion");
    feedbackCommand->add_option("ID", o->id, "The suggestion's id")->required();
    feedbackCommand->add_option("REASON", o->reason, reasonsList)->required()->check(CLI::IsMember(reasonNames()));
    feedbackCommand->add_option("--source", o->source, "With mute_source: the source to mute");
    feedbackCommand->callback([&context, o] { feedback(context, o->id, o->reason, o->source); });

    auto* restoreCommand = insights->add_subcommand("restore", "Bring back a suggestion you turned down");
    restoreCommand->add_option("ID", o->id, "The suggestion's id")->required();
    restoreCommand->callback([&context, o] { restore(context, o->id); });

    auto* allow = insights->add_subcommand("allow-ai", "Allow or stop sending passages of memory to your AI provider");
    allow->add_option("STATE", o->onOff, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
    allow->callback([&context, o] {
        context.memory().setProviderConsent(o->onOff == "on");
        context.out << (o->onOff == "on" ? "Your AI provider may read the passages a suggestion needs.\n"
                                         : "No passage of your memory is sent to an AI provider.\n");
    });

    auto* proactive = insights->add_subcommand("proactive", "Switch suggestions on or off");
    proactive->add_option("STATE", o->onOff, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
    proactive->callback([&context, o] {
        context.memory().setProactive(o->onOff == "on");
        context.out << "Proactive suggestions: " << o->onOff << ".\n";
    });

    auto* snooze = insights->add_subcommand("snooze", "Pause suggestions for a number of minutes, or resume them");
    snooze->add_option("MINUTES", o->snooze, "Minutes (1 to 10080), or off")
        ->required()
        ->check(CLI::Validator(
            [](std::string& value) {
                if (value == "off") {
                    return std::string();
                }
                bool digits = !value.empty() && value.size() <= 5 &&
                              std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
                return digits && std::stoi(value) >= 1 && std::stoi(value) <= 10080
                           ? std::string()
                           : "snooze for 1 to 10080 minutes, or off, not " + value;
            },
            "MINUTES|off"));
    snooze->callback([&context, o] {
        MemoryStore& store = context.memory();
        if (o->snooze == "off") {
            store.snooze(std::nullopt);
            context.out << "Suggestions are back on.\n";
            return;
        }
        Date until = store.now() + 60.0 * std::stoi(o->snooze);
        store.snooze(until);
        context.out << "Suggestions are snoozed until " << DateFormat::format(until, "d MMM yyyy, HH:mm") << ".\n";
    });
}

} // namespace brell
