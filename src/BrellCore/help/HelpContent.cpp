#include "BrellCore/help/HelpContent.h"

#include <algorithm>
#include <iterator>

#include "BrellCore/shortcuts/AppCommand.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell::HelpContent {
namespace {

using D = HelpDestination;
using S = HelpSection;

HelpEntry entry(std::string id, S section, std::string title, std::optional<D> action,
                std::vector<std::string> keywords, std::string body) {
    return {std::move(id), section, std::move(title), std::move(body), action, std::move(keywords)};
}

std::vector<std::string> queryWords(std::string_view query) {
    std::vector<std::string> words;
    for (auto& piece : Text::split(Text::fold(query), ' ')) {
        if (!piece.empty()) {
            words.push_back(std::move(piece));
        }
    }
    return words;
}

// 3 for a word in the title, 2 in a keyword, 1 anywhere else; summed over the words.
int score(const HelpEntry& e, const std::vector<std::string>& words) {
    std::string title = Text::fold(e.title);
    std::string keywords;
    for (const auto& k : e.keywords) {
        keywords += Text::fold(k) + " ";
    }
    int total = 0;
    for (const auto& word : words) {
        if (title.find(word) != std::string::npos) {
            total += 3;
        } else if (keywords.find(word) != std::string::npos) {
            total += 2;
        } else {
            total += 1;
        }
    }
    return total;
}

} // namespace

std::vector<HelpEntry> entries(const HelpShortcuts& shortcuts) {
    const std::string& save = shortcuts.fileSelection;
    const std::string& visual = shortcuts.visualMode;
    const std::string askFocus = AppCommands::shortcut(AppCommand::ask).display();
    const std::string shortcutList = AppCommands::shortcut(AppCommand::keyboardShortcuts).display();

    return {
        // When to use BRELL
        entry("use-quotes", S::whenToUse, "You're writing something that needs exact quotes and their sources.",
              D::evidence, {"cite", "citation", "essay", "report", "article"},
              "Select the passage in any app, press " + save +
                  ", then \u2192 to save it to Evidence. Each quote keeps its source, and Copy Markdown gives you "
                  "the quote with its link."),
        entry("use-video-moment", S::whenToUse, "You remember a video said something last week, but not where.", D::ask,
              {"youtube", "timestamp", "find", "watched"},
              "Ask in your own words, like \u201cwhere did they explain the pricing?\u201d If Memory was on while "
              "you watched, BRELL finds the moment, shows the exact words with their time, and opens the video at "
              "that second."),
        entry("use-pick-up", S::whenToUse, "You're picking a project back up after days away.", D::brells,
              {"project", "resume", "context", "task"},
              "Open the project's brell. Its current task, the newest saved items and one suggested next step "
              "show where you stopped, without rereading everything."),
        entry("use-assistant", S::whenToUse,
              "You want an AI assistant to use your evidence instead of explaining it again.", D::aiConnections,
              {"claude", "chatgpt", "codex", "gemini", "mcp", "brief"},
              "Connect your assistant in AI connections. It can then read what you chose to share: saved quotes "
              "with their sources, passages from Memory and your brells. It reads and never changes anything, and "
              "every read is logged."),
        entry("use-compare", S::whenToUse, "You're comparing what different sources say about one question.", D::ask,
              {"answer", "sources", "cited", "compare"},
              "Put the question to Ask. The answer is a few sentences, each citing the passage it comes from, so "
              "you see which source says what and can open each one."),
        entry("use-catch-up", S::whenToUse, "After a busy day, you want to know which messages still need you.",
              D::catchUp, {"mail", "email", "chat", "slack", "messages", "reply"},
              "Catch Me Up goes through the mail and chat windows screen memory kept and lists the messages that "
              "still look unanswered. It needs screen memory and an AI provider."),
        entry("use-visual", S::whenToUse,
              "You need to remember something that isn't text, like a design or a 3D model.", D::activity,
              {"picture", "screenshot", "image", "visual mode", "blender", "figma"},
              "Press " + visual +
                  " to start Visual mode. BRELL keeps pictures of the window in front for a short while, so you can "
                  "find the design, the model or the diagram later in Activity."),

        // How it works
        entry("how-save", S::howItWorks, "Saving a selection", D::saved,
              {"file", "capture", "quick capture", "shortcut", "links", "notes", "evidence"},
              "Select text in any app and press " + save +
                  ". A small map opens: \u2192 saves to Evidence, \u2190 to Links, \u2191 to Notes. Each item keeps "
                  "the page address or the file it came from, and you can add a note before it goes."),
        entry("how-brells", S::howItWorks, "Brells", D::brells,
              {"project", "keywords", "unbrelled", "suggestion", "task"},
              "A brell is a project: a name, a few keywords and the task you're on. Saved items and memory that "
              "match its keywords gather in it; what matches none stays unbrelled until you file it. BRELL may "
              "suggest one next step for the current task, drawn from your own evidence."),
        entry("how-memory", S::howItWorks, "Memory and Activity", D::activity,
              {"timeline", "history", "chrome", "youtube", "screen memory", "remember"},
              "With your consent, the Chrome extension tells BRELL which parts of YouTube videos you played and "
              "which articles on approved sites you read, and screen memory keeps the text of the window in front. "
              "Activity shows it all as a timeline. Memory never leaves this Mac."),
        entry("how-ask", S::howItWorks, "Ask and cited answers", D::ask,
              {"search", "answer", "ai", "citation", "moment"},
              "Ask searches everything BRELL remembers. For a question it finds the passages that answer it and, "
              "with an AI provider, writes a short answer in which every sentence cites its passage. Without AI you "
              "still get the passages."),
        entry("how-catch-up", S::howItWorks, "Catch Me Up", D::catchUp, {"mail", "chat", "messages", "summary"},
              "Catch Me Up sums up what screen memory kept, grouped by topic, and lists the mail and chat messages "
              "that seem to need a reply. It uses your AI provider."),
        entry("how-visual", S::howItWorks, "Visual mode", D::keyboardShortcuts,
              {"picture", "screenshot", "frames", "countdown"},
              "Press " + visual +
                  " to start Visual mode and again to stop it. After a short countdown BRELL keeps pictures of the "
                  "window in front for a limited time. Star the frames worth keeping; the others are removed after "
                  "a while."),
        entry("how-assistants", S::howItWorks, "AI connections", D::aiConnections,
              {"mcp", "assistant", "claude", "chatgpt", "codex", "gemini", "grok", "share"},
              "Assistants on this Mac reach BRELL through a local connector. You choose what they may read in "
              "Sources & Privacy \u2192 AI connections; they can read but never change anything, and each read is "
              "logged."),

        // Privacy
        entry("privacy-where", S::privacy, "What is stored, and where?", D::privacyData,
              {"files", "folder", "path", "storage", "database", "local", "keychain"},
              "Everything is in the BRELL folder in your Application Support folder: the board in board.json, the "
              "memory in Memory.sqlite, Visual-mode pictures in the Visual folder, and the sharing settings and "
              "read log beside the board. API keys are never written to these files."),
        entry("privacy-leaves", S::privacy, "What leaves this Mac, and when?", D::aiConnections,
              {"network", "cloud", "send", "upload", "internet", "telemetry", "tracking"},
              "Nothing, unless you ask for it. Text goes to your AI provider only when you use an AI feature, such "
              "as an explanation, a cited answer or Catch Me Up, and only what that feature needs; with Apple "
              "Intelligence it stays on this Mac. BRELL has no telemetry and no tracking."),
        entry("privacy-pause", S::privacy, "How do I pause Memory?", D::sourcesPrivacy,
              {"stop", "off", "recording", "resume"},
              "Click Pause in Sources & Privacy. The Chrome extension and screen memory keep nothing new until you "
              "resume, and what is already kept stays. " +
                  save + " still works while Memory is paused."),
        entry("privacy-delete", S::privacy, "How do I delete what BRELL has kept?", D::privacyData,
              {"remove", "erase", "clear", "retention", "forget"},
              "Privacy & Data deletes one source or everything Memory kept, and sets how many days Memory keeps "
              "things before it forgets them by itself. Saved items stay on the board until you delete them there."),
        entry("privacy-skips", S::privacy, "What does screen memory skip?", D::sourcesPrivacy,
              {"password", "private", "incognito", "excluded", "screen text"},
              "Screen memory never keeps password managers, the lock screen or BRELL itself, nor any app you "
              "exclude in Sources & Privacy. Mail and chat windows are kept for Catch Me Up but never shown to "
              "assistants."),

        // Troubleshooting
        entry("fix-shortcut", S::troubleshooting, "The shortcut does nothing.", D::settings,
              {"hotkey", "keyboard", "not working", "taken", "conflict"},
              "BRELL must be running: its icon is in the menu bar. If another app already uses " + save +
                  ", BRELL can't register it; Settings \u2192 General shows that it's taken, and you can record "
                  "another one there."),
        entry("fix-accessibility", S::troubleshooting, "The map opens, but without my selected text.",
              D::accessibilitySettings, {"accessibility", "permission", "selection", "empty", "clipboard"},
              "BRELL reads the selection through the Accessibility permission. Open Accessibility settings and "
              "switch BRELL on; after an update, switch it off and on again. Some apps never share their "
              "selection: copy it first, then press \u2318V in the map."),
        entry("fix-chrome", S::troubleshooting, "Chrome shows \u201cnot connected\u201d.", D::setupGuide,
              {"extension", "companion", "disconnected", "link", "native host"},
              "Open the Setup Guide and follow the Chrome step: it links Chrome to BRELL and checks the extension. "
              "Then reload the extension in Chrome, or restart Chrome."),
        entry("fix-ai", S::troubleshooting, "No AI is available.", D::settings,
              {"provider", "claude code", "openai", "apple intelligence", "api key"},
              "Choose a provider in Settings \u2192 AI: Claude Code if it is installed, Apple Intelligence where "
              "this Mac has it, or the Claude or OpenAI API with a key. Saving, search and moments work without "
              "AI."),
        entry("fix-purple-dot", S::troubleshooting, "There's a purple dot in the menu bar.", D::sourcesPrivacy,
              {"indicator", "screen recording", "privacy", "menu bar", "icon"},
              "macOS shows it while an app may record the screen: screen memory or Visual mode is on. Switch them "
              "off in Sources & Privacy and the dot goes away."),
        entry("fix-ask-empty", S::troubleshooting, "Ask finds nothing.", D::sourcesPrivacy,
              {"search", "no results", "empty", "nothing found"},
              "Ask only finds what BRELL kept. Check that Memory is on and not paused, that the site is approved "
              "or the video was played with the Chrome extension connected, then try fewer or other words."),
        entry("fix-moved", S::troubleshooting, "I moved the app, and Chrome or my assistant stopped working.",
              D::setupGuide, {"applications", "moved", "reinstall", "path", "broken", "reconnect", "downloads"},
              "Chrome and your assistants start BRELL from where it was when you set them up. Keep BRELL in "
              "Applications and open the Setup Guide: it points Chrome and the assistants at the new place."),
        entry("fix-screen-permission", S::troubleshooting, "Screen memory or Visual mode keeps nothing.",
              D::screenRecordingSettings, {"screen recording", "permission", "visual mode", "nothing captured"},
              "Both need the Screen Recording permission. Open Screen Recording settings, switch BRELL on, then "
              "quit and reopen BRELL so macOS applies it."),

        // Tips
        entry("tip-clipboard", S::tips, "Nothing selected? Press \u2318V in the map.", std::nullopt,
              {"paste", "clipboard"},
              "When an app keeps its selection to itself, copy the text, open the map with " + save +
                  " and press \u2318V: what you copied becomes the quote."),
        entry("tip-undo", S::tips, "Saved to the wrong lane? Click Undo.", D::saved, {"mistake", "move", "lane"},
              "Right after saving, Undo takes the item back. Save it again to the right lane, or move it there on "
              "the board."),
        entry("tip-hide", S::tips, "Keep an item away from AI.", D::saved, {"private", "hide", "assistant", "exclude"},
              "Mark an item private and no assistant or AI provider reads it, whatever the sharing settings say. "
              "It stays on your board as before."),
        entry("tip-brief", S::tips, "Copy Brief turns a question into Markdown.", D::ask,
              {"markdown", "export", "share", "brief"},
              "After Ask answers, Copy Brief puts the answer, its passages and their links on the clipboard as "
              "Markdown, ready for a document or an assistant."),
        entry("tip-seen", S::tips, "Chrome tells you when you've seen a page before.", std::nullopt,
              {"chrome", "extension", "hint", "pill", "watched before"},
              "When you open a page or a video you met before, the extension shows a small pill saying when you "
              "read or watched it and what you saved from it."),
        entry("tip-keys", S::tips, "Move around with the keyboard.", D::keyboardShortcuts,
              {"shortcuts", "arrows", "navigation", "keys"},
              askFocus +
                  " puts the cursor in Ask from anywhere in the window, \u23181 to \u23185 switch sections, "
                  "and the arrow keys move through the sidebar and lists. Help \u2192 Keyboard Shortcuts (" +
                  shortcutList + ") lists them all."),
        entry("tip-mute", S::tips, "Mute a source instead of deleting it.", D::activity, {"mute", "exclude", "ignore"},
              "A muted source keeps what BRELL already has but adds nothing new and stays out of suggestions. "
              "Unmute it whenever you like."),
    };
}

std::vector<HelpEntry> search(std::string_view query, const std::vector<HelpEntry>& all) {
    std::vector<HelpEntry> found;
    for (const auto& e : all) {
        if (e.matches(query)) {
            found.push_back(e);
        }
    }
    return found;
}

std::vector<HelpEntry> searchBestFirst(std::string_view query, const std::vector<HelpEntry>& all) {
    std::vector<HelpEntry> found = search(query, all);
    const auto words = queryWords(query);
    std::vector<std::pair<int, HelpEntry>> scored;
    for (auto& e : found) {
        scored.emplace_back(score(e, words), std::move(e));
    }
    std::stable_sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    found.clear();
    for (auto& [points, e] : scored) {
        found.push_back(std::move(e));
    }
    return found;
}

std::vector<std::pair<HelpSection, std::vector<HelpEntry>>> bySection(const std::vector<HelpEntry>& entries) {
    std::vector<std::pair<HelpSection, std::vector<HelpEntry>>> out;
    for (auto section : HelpSections::allCases()) {
        std::vector<HelpEntry> in;
        std::copy_if(entries.begin(), entries.end(), std::back_inserter(in),
                     [section](const HelpEntry& e) { return e.section == section; });
        if (!in.empty()) {
            out.emplace_back(section, std::move(in));
        }
    }
    return out;
}

std::string markdown(const HelpShortcuts& shortcuts) {
    std::string out = "# BRELL: Tips & FAQ\n";
    for (const auto& [section, inSection] : bySection(entries(shortcuts))) {
        out += "\n## " + HelpSections::title(section) + "\n\n_" + HelpSections::blurb(section) + "_\n";
        for (const auto& e : inSection) {
            out += "\n### " + e.title + "\n\n" + e.body + "\n";
        }
    }
    return out;
}

std::string json(const HelpShortcuts& shortcuts) {
    Json all = Json::array();
    for (const auto& e : entries(shortcuts)) {
        Json item = {{"id", e.id}, {"section", HelpSections::title(e.section)}, {"title", e.title}, {"body", e.body}};
        if (e.action) {
            item["action"] = HelpDestinations::rawValue(*e.action);
        }
        all.push_back(std::move(item));
    }
    try {
        return all.dump(2);
    } catch (const Json::exception&) {
        return "[]";
    }
}

} // namespace brell::HelpContent
