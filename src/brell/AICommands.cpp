// brell ai status, brell ai use and brell explain: the AI provider the user chose and
// the explanation of one passage with it.
#include <chrono>
#include <iostream>
#include <iterator>
#include <thread>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "BrellCore/ai/AIProvider.h"
#include "BrellCore/ai/ClaudeCodeCLI.h"
#include "BrellCore/ai/Explainer.h"
#include "BrellCore/ai/HTTPClient.h"
#include "BrellCore/ai/OnDeviceModel.h"
#include "BrellCore/board/CardStore.h"
#include "brell/AppContext.h"
#include "brell/AppSettings.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/InterruptWatch.h"
#include "util/Text.h"

namespace brell {
namespace {

constexpr std::size_t shortestIDPrefix = 8;

bool mockMode() {
    return Environment::value("BRELL_MOCK_AI") == "1";
}

std::vector<std::string> rawValues() {
    std::vector<std::string> raw;
    for (AIProvider p : AIProvider::allCases()) {
        raw.emplace_back(p.rawValue());
    }
    return raw;
}

// Text from a model or the board, through the printable-text filter with its line
// breaks kept.
std::string printable(std::string_view text) {
    return TextOutput::printable(text, true);
}

struct Readiness {
    bool usable = true;
    std::string reason; // one sentence when not usable
};

Readiness readiness(AIProvider provider) {
    if (provider == AIProvider::off) {
        return {};
    }
    if (mockMode()) {
        return {};
    }
    switch (provider.value()) {
    case AIProvider::claudeCode:
        if (!ClaudeCodeCLI::locate()) {
            return {false, "Claude Code isn't installed: no claude program was found. Install it from "
                           "https://claude.ai and sign in once in a terminal."};
        }
        return {};
    case AIProvider::apple: {
        auto status = OnDeviceModel::status();
        if (status != OnDeviceModel::Status::available) {
            return {false, std::string(OnDeviceModel::sentence(status))};
        }
        return {};
    }
    default: {
        std::string key(*provider.environmentKey());
        if (Environment::value(key).value_or("").empty()) {
            return {false, "No API key: set " + key + " in the environment."};
        }
        return {};
    }
    }
}

struct Choice {
    AIProvider provider = AIProvider::off;
    std::optional<std::string> model; // the saved model, when one was saved
};

Choice savedChoice(const AppSettings& settings) {
    Choice choice;
    if (auto raw = settings.string("aiProvider")) {
        choice.provider = AIProvider::fromRawValue(*raw).value_or(AIProvider::off);
    }
    choice.model = settings.string("aiModel");
    return choice;
}

// Dots on a terminal's standard error while a call runs; nothing otherwise.
class WaitingDots {
public:
    // `err` is the raw standard error (AppContext::progress): the line is rewritten with
    // a carriage return, which the printable-text filter would remove.
    WaitingDots(std::ostream& err, const std::string& what) : err_(err) {
        if (!::isatty(STDERR_FILENO)) {
            return;
        }
        err_ << TextOutput::printable(what) << std::flush;
        thread_ = std::thread([this] {
            while (!done_.waitFor(std::chrono::milliseconds(500))) {
                err_ << "." << std::flush;
            }
            err_ << "\r\033[K" << std::flush;
        });
    }
    ~WaitingDots() {
        done_.cancel();
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    WaitingDots(const WaitingDots&) = delete;
    WaitingDots& operator=(const WaitingDots&) = delete;

private:
    std::ostream& err_;
    CancelToken done_;
    std::thread thread_;
};

std::string cardQuote(AppContext& context, const std::string& idText) {
    if (idText.size() < shortestIDPrefix) {
        throw CommandError("Give at least the first 8 characters of the card's id, as brell board list shows it.");
    }
    const std::string wanted = Text::asciiLower(idText);
    std::vector<Card> matches;
    for (const auto& card : CardStore::readCards(context.boardPath())) {
        if (Text::asciiLower(card.id.text()).starts_with(wanted)) {
            matches.push_back(card);
        }
    }
    if (matches.empty()) {
        throw CommandError("No card has the id " + idText + ".");
    }
    if (matches.size() > 1) {
        throw CommandError("More than one card's id starts with " + idText + "; give more of it.");
    }
    if (!matches[0].capture.text) {
        throw CommandError("That card holds a link, not a quote; only quotes can be explained.");
    }
    return *matches[0].capture.text;
}

void printStatus(AppContext& context, bool json) {
    AppSettings settings = AppSettings::load(AppSettings::defaultPath());
    Choice choice = savedChoice(settings);
    if (json) {
        OrderedJson providers = OrderedJson::array();
        for (AIProvider p : AIProvider::allCases()) {
            Readiness r = readiness(p);
            providers.push_back({{"provider", p.rawValue()},
                                 {"displayName", p.displayName()},
                                 {"defaultModel", p.defaultModel()},
                                 {"usable", r.usable},
                                 {"reason", r.usable ? OrderedJson() : OrderedJson(r.reason)}});
        }
        OrderedJson out = {{"choice", choice.provider.rawValue()},
                           {"model", choice.model ? OrderedJson(*choice.model) : OrderedJson()},
                           {"mock", mockMode()},
                           {"providers", providers}};
        context.out << out.dump(2, ' ', false, OrderedJson::error_handler_t::replace) << "\n";
        return;
    }
    context.out << "AI provider: " << choice.provider.displayName();
    if (choice.provider != AIProvider::off) {
        std::string model = choice.model.value_or(std::string(choice.provider.defaultModel()));
        context.out << (model.empty() ? "" : ", model " + printable(model));
    }
    context.out << "\n";
    if (mockMode()) {
        context.out << "Test mode (BRELL_MOCK_AI=1): every provider but off answers with a mock explanation.\n";
    }
    for (AIProvider p : AIProvider::allCases()) {
        Readiness r = readiness(p);
        context.out << "  " << p.rawValue() << "  " << p.displayName() << ": "
                    << (r.usable ? "ready" : "not ready. " + r.reason) << "\n";
    }
    context.out << "Choose one with: brell ai use PROVIDER [--model MODEL]\n";
}

} // namespace

void registerAICommands(CLI::App& app, AppContext& context) {
    auto* ai = app.add_subcommand("ai", "The AI provider that explains passages");
    ai->require_subcommand(1);

    auto statusJson = std::make_shared<bool>(false);
    auto* status = ai->add_subcommand("status", "Show each provider, whether it can be used now, and your choice");
    status->add_flag("--json", *statusJson, "Print the status as JSON");
    status->callback([&context, statusJson] { printStatus(context, *statusJson); });

    struct UseOptions {
        std::string provider;
        std::optional<std::string> model;
    };
    auto use = std::make_shared<UseOptions>();
    auto* useCommand = ai->add_subcommand("use", "Choose the AI provider (off, claudeCode, apple, anthropic, openai)");
    useCommand->add_option("PROVIDER", use->provider, "off, claudeCode, apple, anthropic or openai")
        ->required()
        ->check(CLI::IsMember(rawValues()));
    useCommand->add_option("--model", use->model, "The model to ask (default: the provider's own)");
    useCommand->callback([&context, use] {
        AIProvider provider = *AIProvider::fromRawValue(use->provider);
        AppSettings settings = AppSettings::load(AppSettings::defaultPath());
        settings.set("aiProvider", std::string(provider.rawValue()));
        settings.set("aiModel", use->model ? Json(*use->model) : Json());
        settings.save();
        context.out << "AI provider: " << provider.displayName();
        std::string model = use->model.value_or(std::string(provider.defaultModel()));
        context.out << (provider == AIProvider::off || model.empty() ? "" : ", model " + printable(model)) << ".\n";
        if (Readiness r = readiness(provider); !r.usable) {
            context.out << "Not ready yet: " << r.reason << "\n";
        }
    });

    struct ExplainOptions {
        std::optional<std::string> provider;
        std::optional<std::string> model;
        bool json = false;
        std::optional<std::string> text;
        std::optional<std::string> file;
        std::optional<std::string> card;
        std::optional<std::string> dash;
    };
    auto options = std::make_shared<ExplainOptions>();
    auto* explain = app.add_subcommand("explain", "Explain a passage in plain language with your AI provider");
    explain->add_option("--provider", options->provider, "off, claudeCode, apple, anthropic or openai")
        ->check(CLI::IsMember(rawValues()));
    explain->add_option("--model", options->model, "The model to ask");
    explain->add_flag("--json", options->json, "Print the explanation as JSON");
    explain->add_option("--text", options->text, "The passage");
    explain->add_option("--file", options->file, "A file holding the passage");
    explain->add_option("--card", options->card, "A board card's id (or its first 8 or more characters)");
    explain->add_option("STDIN", options->dash, "- to read the passage from standard input");
    explain->callback([&context, options] {
        int sources =
            (options->text ? 1 : 0) + (options->file ? 1 : 0) + (options->card ? 1 : 0) + (options->dash ? 1 : 0);
        if (sources != 1 || (options->dash && *options->dash != "-")) {
            throw CLI::ValidationError("explain", "give the passage one way: --text TEXT, --file PATH, --card ID or -");
        }
        std::string text;
        if (options->text) {
            text = *options->text;
        } else if (options->file) {
            auto content = FileSystem::read(*options->file);
            if (!content) {
                throw CommandError("There is no file at " + *options->file + ".");
            }
            text = *content;
        } else if (options->card) {
            text = cardQuote(context, *options->card);
        } else {
            text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        }
        // JSON carries only UTF-8; a stray byte becomes U+FFFD rather than failing the request.
        text = Text::sanitizeUTF8(text);

        Choice saved = savedChoice(AppSettings::load(AppSettings::defaultPath()));
        AIProvider provider = options->provider ? *AIProvider::fromRawValue(*options->provider) : saved.provider;
        std::string model;
        if (options->model) {
            model = *options->model;
        } else if (provider == saved.provider && saved.model) {
            model = *saved.model;
        } else {
            model = std::string(provider.defaultModel());
        }
        std::string apiKey;
        if (auto variable = provider.environmentKey()) {
            apiKey = Environment::value(std::string(*variable)).value_or("");
        }

        CancelToken cancel;
        InterruptWatch interrupt(cancel);
        ExplainOutcome outcome;
        try {
            WaitingDots waiting(context.progress, "Asking " + Explainer::label(provider, model));
            if (mockMode() && provider != AIProvider::off) {
                if (Text::isBlank(text) || Text::characterCount(text) > 8000) {
                    throw ExplainError::badInput();
                }
                outcome = Explainer::mock(text, cancel);
            } else {
                outcome = Explainer::explain(text, provider, apiKey, model, HTTPClient::shared(), cancel);
            }
        } catch (const ExplainError& e) {
            throw CommandError(e.message());
        }
        if (options->json) {
            OrderedJson out = {{"explanation", outcome.explanation},
                               {"caveat", outcome.caveat ? OrderedJson(*outcome.caveat) : OrderedJson()},
                               {"providerLabel", outcome.providerLabel}};
            context.out << out.dump(-1, ' ', false, OrderedJson::error_handler_t::replace) << "\n";
            return;
        }
        context.out << printable(outcome.explanation) << "\n";
        if (outcome.caveat) {
            context.out << "Caveat: " << printable(*outcome.caveat) << "\n";
        }
        context.out << "\u2014 " << printable(outcome.providerLabel) << "\n";
    });
}

} // namespace brell
