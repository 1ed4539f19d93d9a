// brell share …: what AI assistants may read, and what they read. The switches live in
// assistant-access.json beside the board (AssistantAccess), which the application
// writes and the connector only reads; the connector's reads are in
// assistant-access-log.jsonl (AccessLog), which this command shows and may clear.
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "BrellCore/board/CardStore.h"
#include "BrellCore/connector/AccessLog.h"
#include "BrellCore/connector/AssistantAccess.h"
#include "BrellCore/connector/AssistantFormat.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "platform/FileSystem.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

constexpr std::size_t defaultLogLimit = 20;

// The settings file as a command finds it.
struct Settings {
    std::string path;
    AssistantAccess access = AssistantAccess::defaultValue();
    enum class State { saved, missing, unreadable } state = State::missing;
};

Settings readSettings(const AppContext& context) {
    Settings settings;
    settings.path = AssistantAccess::fileURL(context.boardPath());
    if (auto access = AssistantAccess::tryLoad(settings.path)) {
        settings.access = *access;
        settings.state = Settings::State::saved;
    } else if (FileSystem::exists(settings.path)) {
        settings.state = Settings::State::unreadable;
    }
    return settings;
}

std::string stateName(Settings::State state) {
    switch (state) {
    case Settings::State::saved:
        return "saved";
    case Settings::State::missing:
        return "missing";
    case Settings::State::unreadable:
        return "unreadable";
    }
    return "missing";
}

// Loads, changes and saves the settings. A file that can't be read is replaced by the
// defaults with the change applied, as every reader already treats it as the defaults.
void changeSettings(AppContext& context, const std::function<void(AssistantAccess&)>& change) {
    Settings settings = readSettings(context);
    if (settings.state == Settings::State::unreadable) {
        context.err << "brell: the sharing settings at " << settings.path
                    << " couldn't be read, so the change starts from the defaults (nothing shared).\n";
    }
    change(settings.access);
    try {
        settings.access.save(settings.path);
    } catch (const Error& e) {
        throw CommandError(std::string("The sharing settings could not be saved: ") + e.what());
    }
}

std::string onOff(bool value) {
    return value ? "on" : "off";
}

std::string laneTitles(const std::vector<Lane>& lanes) {
    std::string out;
    for (Lane lane : Lane::allLanes()) {
        if (std::find(lanes.begin(), lanes.end(), lane) != lanes.end()) {
            out += (out.empty() ? "" : ", ") + lane.title();
        }
    }
    return out.empty() ? "none" : out;
}

// How many of the board's cards the settings let assistants read; nothing when the
// board can't be read.
struct CardCount {
    std::size_t shared = 0;
    std::size_t total = 0;
};

std::optional<CardCount> countCards(const AppContext& context, const AssistantAccess& access,
                                    std::string* failure = nullptr) {
    try {
        CardCount count;
        for (const Card& card : CardStore::readCards(context.boardPath())) {
            ++count.total;
            count.shared += access.allows(card) ? 1 : 0;
        }
        return count;
    } catch (const Error& e) {
        if (failure) {
            *failure = e.what();
        }
        return std::nullopt;
    }
}

std::string cardCountSentence(const CardCount& count) {
    return "Assistants can read " + std::to_string(count.shared) + " of " + std::to_string(count.total) + " card" +
           (count.total == 1 ? "" : "s") + " on the board.";
}

void printStatus(AppContext& context, bool json) {
    Settings settings = readSettings(context);
    const AssistantAccess& access = settings.access;
    std::string failure;
    auto count = countCards(context, access, &failure);
    if (json) {
        OrderedJson out = OrderedJson::object();
        out["file"] = settings.path;
        out["state"] = stateName(settings.state);
        out["settings"] = OrderedJson::parse(access.encoded());
        if (count) {
            out["cards"] = OrderedJson{{"shared", count->shared}, {"total", count->total}};
        } else {
            out["cards"] = nullptr;
        }
        TextOutput::printJson(context.out, out);
        return;
    }
    context.out << AssistantAccess::enabledName << ": " << onOff(access.enabled) << "\n"
                << "Shared lanes: " << laneTitles(access.lanes) << "\n"
                << AssistantAccess::shareMemoryName << ": " << onOff(access.shareMemory) << "\n"
                << AssistantAccess::shareVisualsName << ": " << onOff(access.shareVisuals) << "\n"
                << AssistantAccess::shareBrellsName << ": " << onOff(access.shareBrells) << "\n"
                << AssistantAccess::shareScreenName << ": " << onOff(access.shareScreen) << "\n";
    if (count) {
        context.out << cardCountSentence(*count) << "\n";
    } else {
        context.out << "The board can't be read, so assistants can read none of it: " << TextOutput::printable(failure)
                    << "\n";
    }
    context.out << "Settings file: " << settings.path;
    if (settings.state == Settings::State::missing) {
        context.out << " (not saved yet, so the defaults apply)";
    } else if (settings.state == Settings::State::unreadable) {
        context.out << " (can't be read, so the defaults apply and nothing is shared)";
    }
    context.out << "\n";
}

// The reminder added to a change that has no effect while the master switch is off.
std::string whileOff(const AssistantAccess& access) {
    return access.enabled ? "" : " Sharing itself is off; turn it on with brell share on.";
}

void printLog(AppContext& context, std::size_t limit, bool json) {
    auto entries = AccessLog::recent(AccessLog::fileURL(context.boardPath()), limit);
    if (json) {
        OrderedJson array = OrderedJson::array();
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            array.push_back(it->json());
        }
        TextOutput::printJson(context.out, array);
        return;
    }
    if (entries.empty()) {
        context.out << (limit == 0 ? "" : "No assistant has read anything from BRELL yet.\n");
        return;
    }
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        context.out << AssistantFormat::stamp(it->at) << "  " << TextOutput::printable(it->tool) << "  "
                    << TextOutput::printable(it->detail) << "  (" << it->itemCount
                    << (it->itemCount == 1 ? " item" : " items") << ")\n";
    }
}

struct SwitchCommand {
    const char* command;
    const char* help;
    std::string_view name;
    bool AssistantAccess::*field;
};

std::vector<std::string> laneNames() {
    std::vector<std::string> names;
    for (Lane lane : Lane::allLanes()) {
        names.push_back(lane.rawValue());
    }
    return names;
}

struct LogOptions {
    std::size_t limit = defaultLogLimit;
    bool json = false;
};

} // namespace

void registerShareCommands(CLI::App& app, AppContext& context) {
    auto* share = app.add_subcommand("share", "Choose what AI assistants may read (assistant-access.json) and see what "
                                              "they read");
    share->require_subcommand(1);
    const auto states = CLI::IsMember(std::vector<std::string>{"on", "off"});

    auto* status = share->add_subcommand("status", "Show the sharing switches and how much of the board they share");
    auto statusJSON = std::make_shared<bool>(false);
    status->add_flag("--json", *statusJSON, "Print the settings file, its state and the card counts as JSON");
    status->callback([&context, statusJSON] { printStatus(context, *statusJSON); });

    auto* on = share->add_subcommand("on", "Let AI assistants read what is shared");
    on->callback([&context] {
        AssistantAccess after = AssistantAccess::defaultValue();
        changeSettings(context, [&after](AssistantAccess& access) {
            access.enabled = true;
            after = access;
        });
        context.out << "AI assistants can now read what you share from BRELL (lanes: " << laneTitles(after.lanes)
                    << ").";
        if (auto count = countCards(context, after)) {
            context.out << " " << cardCountSentence(*count);
        }
        context.out << "\n";
    });

    auto* off = share->add_subcommand("off", "Stop AI assistants reading anything");
    off->callback([&context] {
        changeSettings(context, [](AssistantAccess& access) { access.enabled = false; });
        context.out << "AI assistants can no longer read anything from BRELL.\n";
    });

    auto* lane = share->add_subcommand("lane", "Share a board lane with AI assistants, or stop sharing it");
    auto laneName = std::make_shared<std::string>();
    auto laneState = std::make_shared<std::string>();
    lane->add_option("lane", *laneName, "links, notes or evidence")->required()->check(CLI::IsMember(laneNames()));
    lane->add_option("state", *laneState, "on or off")->required()->check(states);
    lane->callback([&context, laneName, laneState] {
        Lane chosen = Lane::fromRaw(*laneName).value_or(Lane::evidence); // checked by the option
        bool shared = *laneState == "on";
        AssistantAccess after = AssistantAccess::defaultValue();
        changeSettings(context, [&](AssistantAccess& access) {
            std::vector<Lane> lanes;
            for (Lane each : Lane::allLanes()) {
                if (each == chosen ? shared : access.shares(each)) {
                    lanes.push_back(each);
                }
            }
            access.lanes = lanes;
            after = access;
        });
        context.out << "The " << chosen.title() << " lane is " << (shared ? "now" : "no longer")
                    << " shared with AI assistants." << (shared ? whileOff(after) : "") << "\n";
    });

    static const SwitchCommand switches[] = {
        {"memory", "Share passages of videos watched and articles read", AssistantAccess::shareMemoryName,
         &AssistantAccess::shareMemory},
        {"visuals", "Share Visual-mode sessions", AssistantAccess::shareVisualsName, &AssistantAccess::shareVisuals},
        {"brells", "Share your brells and their current tasks", AssistantAccess::shareBrellsName,
         &AssistantAccess::shareBrells},
        {"screen", "Share text read off the windows you had in front", AssistantAccess::shareScreenName,
         &AssistantAccess::shareScreen},
    };
    for (const SwitchCommand& entry : switches) {
        auto* sub = share->add_subcommand(entry.command, std::string(entry.help) + " (\"" + std::string(entry.name) +
                                                             "\"): on or off");
        auto state = std::make_shared<std::string>();
        sub->add_option("state", *state, "on or off")->required()->check(states);
        sub->callback([&context, &entry, state] {
            bool value = *state == "on";
            AssistantAccess after = AssistantAccess::defaultValue();
            changeSettings(context, [&](AssistantAccess& access) {
                access.*entry.field = value;
                after = access;
            });
            context.out << "\u201C" << entry.name << "\u201D is now " << onOff(value) << "."
                        << (value ? whileOff(after) : "") << "\n";
        });
    }

    auto* log = share->add_subcommand("log", "Show what AI assistants read, newest first");
    auto logOptions = std::make_shared<LogOptions>();
    log->add_option("--limit", logOptions->limit, "How many reads to show (default 20)")
        ->check(CLI::Validator(
            [](const std::string& text) {
                bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
                return digits ? std::string() : std::string("must be a whole number, 0 or more");
            },
            "N"));
    log->add_flag("--json", logOptions->json, "Print the reads as JSON, as the log file holds them");
    log->callback([&context, logOptions] { printLog(context, logOptions->limit, logOptions->json); });

    auto* clearLog = share->add_subcommand("clear-log", "Delete the record of what AI assistants read");
    clearLog->callback([&context] {
        std::string path = AccessLog::fileURL(context.boardPath());
        AccessLog::clear(path);
        if (FileSystem::exists(path)) {
            throw CommandError("The access log at " + path + " could not be deleted.");
        }
        context.out << "The record of what AI assistants read was cleared.\n";
    });
}

} // namespace brell
