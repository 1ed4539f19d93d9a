// brell setup: the first-run checklist on a terminal. The facts come from this machine
// (the memory's switches, the browsers and their manifests, when the companion last
// spoke, the AI provider chosen); the steps already looked at are kept in settings.json.
#include <CLI/CLI.hpp>

#include "BrellCore/help/HelpShortcuts.h"
#include "BrellCore/help/SetupGuide.h"
#include "BrellCore/integration/HostManifest.h"
#include "BrellMemory/db/MemoryStore.h"
#include "brell/AppContext.h"
#include "brell/AppSettings.h"
#include "brell/Commands.h"
#include "platform/FileSystem.h"
#include "platform/SetupFacts.h"

namespace brell {
namespace {

// The settings key of the steps already seen.
const char* const seenKey = "onboardingSeen";

struct AIFacts {
    bool claudeCode = false;
    bool onDevice = false;
    bool aiReady = false;
};

// The AI providers usable here: for now the provider chosen in settings.json
// ("aiProvider"), where "off" or nothing means none. Whether Claude Code is installed
// or an on-device model exists is the providers' own check and is not guessed here.
AIFacts usableAIProviders(const AppSettings& settings) {
    auto chosen = settings.string("aiProvider");
    return {false, false, chosen && !chosen->empty() && *chosen != "off"};
}

// A manifest of ours that points at a host that is there: the browser can start it.
bool hostLinked() {
    for (const auto& entry : HostManifest::check("")) {
        bool ours = entry.status == HostManifest::Status::current || entry.status == HostManifest::Status::otherBuild;
        if (ours && entry.hostPath && FileSystem::exists(*entry.hostPath) && !FileSystem::isFolder(*entry.hostPath)) {
            return true;
        }
    }
    return false;
}

SetupGuide gatherFacts(AppContext& context, const AppSettings& settings) {
    MemoryStore& store = context.memory();
    const MemoryState state = store.state();
    const auto accessibility = SetupFacts::accessibilityPermitted();
    const auto screenRecording = SetupFacts::screenRecordingPermitted();
    const AIFacts ai = usableAIProviders(settings);

    SetupGuide guide;
    OnboardingFacts& f = guide.facts;
    f.accessibility = accessibility.value_or(false);
    f.browserNeedsAsking = SetupFacts::browserNeedsAsking().value_or(false);
    f.chromeAppInstalled = !SetupFacts::installedBrowsers().empty();
    f.hostInstalled = hostLinked();
    f.extensionEverConnected = state.hostLastSeen.has_value();
    f.extensionConnected =
        OnboardingFacts::extensionTalking(state.hostLastSeen, store.now(), store.config.connectionLostAfter);
    f.memoryOn = state.enabled;
    f.memoryPaused = state.paused;
    f.screenOn = state.screen;
    f.screenPermitted = screenRecording.value_or(false);
    f.claudeCode = ai.claudeCode;
    f.onDevice = ai.onDevice;
    f.aiReady = ai.aiReady;
    guide.accessibilityUnknown = !accessibility;
    guide.screenPermissionUnknown = !screenRecording;
    return guide;
}

OnboardingFlow::Seen storedSeen(const AppSettings& settings) {
    std::optional<std::vector<std::string>> names;
    if (auto value = settings.value(seenKey); value && value->is_array()) {
        names.emplace();
        for (const auto& item : *value) {
            if (auto name = JsonText::string(item)) {
                names->push_back(*name);
            }
        }
    }
    return OnboardingFlow::decodeSeen(names);
}

// What the step asks of the user on this machine, and how to do it from here.
std::string nextAction(OnboardingStep step, const SetupGuide& guide) {
    const OnboardingFacts& f = guide.facts;
    switch (step) {
    case OnboardingStep::welcome:
        if (!f.memoryOn) {
            return "BRELL keeps what you save and, with your consent, what you watch and read, on this computer "
                   "only. Switch memory on with: brell memory on";
        }
        if (f.memoryPaused) {
            return "Memory is on but paused. Resume it with: brell memory resume";
        }
        return "Memory is on. Run brell setup again for the next step.";
    case OnboardingStep::capture:
        if (guide.accessibilityUnknown) {
            return "Saving a selection from any app needs the Accessibility permission, which this system can't "
                   "report. Save a quote from here with: brell board add-quote";
        }
        return "Let BRELL read your selection: System Settings \u2192 Privacy & Security \u2192 Accessibility.";
    case OnboardingStep::browser:
        if (f.browserNeedsAsking) {
            return "Let BRELL ask Chrome for the page address when macOS asks, so each quote keeps its source.";
        }
        return "The Chrome extension reports the address of the page you save from, so each quote keeps its "
               "source. Nothing to allow here.";
    case OnboardingStep::screen:
        if (!f.screenOn) {
            return "Screen memory keeps the text of the window in front (optional). Switch it on with: brell screen "
                   "on";
        }
        if (guide.screenPermissionUnknown) {
            return "Screen memory is on. Whether BRELL may read the screen can't be known on this system.";
        }
        if (!f.screenPermitted) {
            return "Screen memory needs the Screen Recording permission: System Settings \u2192 Privacy & Security "
                   "\u2192 Screen Recording.";
        }
        return "Screen memory is on.";
    case OnboardingStep::chrome:
        switch (OnboardingFlow::chromeStage(f)) {
        case OnboardingFlow::ChromeStage::notInstalled:
            return "Chrome isn't installed. Install Google Chrome or Chromium for video and article memory, then run "
                   "brell setup again.";
        case OnboardingFlow::ChromeStage::needsLink:
            return "Link Chrome to BRELL with: brell install";
        case OnboardingFlow::ChromeStage::needsExtension:
            return "Add the BRELL companion extension to Chrome, then play a YouTube video; the extension connects "
                   "by itself.";
        case OnboardingFlow::ChromeStage::connected:
            return "Chrome is connected.";
        }
        return "";
    case OnboardingStep::finish:
        return "Setup is done. Find your way around with: brell help";
    }
    return "";
}

void printSummary(std::ostream& out, const SetupGuide& guide, const std::string& shortcut) {
    for (const auto& line : guide.summary(shortcut)) {
        const char* mark = !line.on ? "?  " : *line.on ? "on " : "off";
        out << "  " << mark << "  " << line.text << "\n";
    }
}

const char* stateWord(SetupGuide::StepState state) {
    switch (state) {
    case SetupGuide::StepState::done:
        return "done      ";
    case SetupGuide::StepState::current:
        return "now       ";
    case SetupGuide::StepState::toDo:
        return "to do     ";
    case SetupGuide::StepState::unknown:
        return "can't tell";
    }
    return "";
}

void runSetup(AppContext& context, bool summaryOnly) {
    AppSettings settings = AppSettings::load(AppSettings::defaultPath());
    const SetupGuide guide = gatherFacts(context, settings);
    const std::string shortcut = HelpShortcuts::of(ShortcutSetting::resolveAll([&settings](const std::string& key) {
                                     return settings.string(key);
                                 })).fileSelection;
    auto& out = context.out;
    if (summaryOnly) {
        printSummary(out, guide, shortcut);
        return;
    }

    OnboardingFlow::Seen seen = storedSeen(settings);
    const OnboardingStep step = guide.current(seen);
    out << "BRELL setup, step " << OnboardingSteps::number(step) << " of " << OnboardingSteps::allCases().size() << ": "
        << OnboardingSteps::title(step) << "\n\n";
    for (const auto& [each, state] : guide.steps(seen)) {
        out << "  " << stateWord(state) << "  " << OnboardingSteps::number(each) << ". " << OnboardingSteps::title(each)
            << (OnboardingSteps::isOptional(each) ? " (optional)" : "") << "\n";
    }
    out << "\n" << nextAction(step, guide) << "\n\nSummary:\n";
    printSummary(out, guide, shortcut);

    // The user has now looked at this step; the next run moves on where the step allows.
    if (!seen.contains(step)) {
        seen.insert(step);
        settings.set(seenKey, OnboardingFlow::encodeSeen(seen));
        try {
            settings.save();
        } catch (const FileError& e) {
            throw CommandError(std::string("could not remember the setup steps you have seen (") + e.what() +
                               "); check that " + settings.path() + " is writable.");
        }
    }
}

} // namespace

void registerSetupCommand(CLI::App& app, AppContext& context) {
    auto summaryOnly = std::make_shared<bool>(false);
    auto* setup = app.add_subcommand("setup", "The first-run checklist: what works, and the next thing to set up");
    setup->add_flag("--summary", *summaryOnly, "Print only the five summary lines");
    setup->callback([&context, summaryOnly] { runSetup(context, *summaryOnly); });
}

} // namespace brell
