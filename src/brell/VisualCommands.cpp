// brell visual …: Visual-mode sessions from the command line. On this platform the
// brell tool is the recorder that hands pictures in (`start`, `add`, `end`); the other
// commands browse, search, annotate, star and delete what was kept.
#include <algorithm>
#include <iostream>
#include <iterator>

#include <CLI/CLI.hpp>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/visual/VisualPolicy.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "platform/FileSystem.h"
#include "util/ISODate.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

constexpr int64_t maxLimit = 10000;

std::string plural(int64_t n, const std::string& word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

[[noreturn]] void noSession(int64_t id) {
    throw CommandError("there is no visual session " + std::to_string(id) + "; list them with: brell visual list");
}

[[noreturn]] void noFrame(int64_t id) {
    throw CommandError("there is no visual frame " + std::to_string(id) +
                       "; see a session's frames with: brell visual show SESSION");
}

VisualSession existingSession(MemoryStore& store, int64_t id) {
    auto session = store.visualSession(id);
    if (!session) {
        noSession(id);
    }
    return *session;
}

Json sessionJson(const VisualSession& s, bool withText) {
    Json j = {{"id", s.id},
              {"startedAt", ISODate::format(s.startedAt)},
              {"endedAt", ISODate::format(s.endedAt)},
              {"bundleID", s.bundleID},
              {"appName", s.appName},
              {"windowTitle", s.windowTitle},
              {"label", s.label()},
              {"note", s.note},
              {"frames", s.frameCount}};
    j["url"] = s.url ? Json(*s.url) : Json(nullptr);
    if (withText) {
        j["text"] = s.text;
    }
    return j;
}

void printSessions(AppContext& context, const std::vector<VisualSession>& sessions, bool json) {
    if (json) {
        Json all = Json::array();
        for (const auto& s : sessions) {
            all.push_back(sessionJson(s, false));
        }
        TextOutput::printJson(context.out, all);
        return;
    }
    auto& out = context.out;
    for (const auto& s : sessions) {
        out << "#" << s.id << "  " << TextOutput::oneLine(s.label()) << "\n";
        out << "    " << ISODate::format(s.startedAt, false) << ", " << plural(s.frameCount, "picture") << "\n";
        if (!s.note.empty()) {
            out << "    note: " << TextOutput::oneLine(s.note) << "\n";
        }
    }
}

// The window text given with a picture: a file, standard input ("-") or the text itself.
std::optional<std::string> windowText(const std::string& textFile, const std::optional<std::string>& text) {
    if (!textFile.empty()) {
        auto contents = FileSystem::read(textFile);
        if (!contents) {
            throw CommandError("there is no text file at " + textFile + ".");
        }
        return contents;
    }
    if (text && *text == "-") {
        std::string input{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
        if (std::cin.bad()) {
            throw CommandError("could not read the window text from standard input.");
        }
        return input;
    }
    return text;
}

void registerRecording(CLI::App& visual, AppContext& context) {
    struct StartOptions {
        std::string appID;
        std::string appName;
        std::string title;
        std::optional<std::string> url;
    };
    auto start = std::make_shared<StartOptions>();
    auto* startCommand = visual.add_subcommand("start", "Begin a session of pictures of one window; prints its id");
    startCommand->add_option("--app-id", start->appID, "The application's bundle identifier")->required();
    startCommand->add_option("--app-name", start->appName, "The application's name as shown to the user")->required();
    startCommand->add_option("--title", start->title, "The window title");
    startCommand->add_option("--url", start->url, "The page address, for a browser window");
    startCommand->callback([&context, start] {
        auto id = context.memory().beginVisualSession(start->appID, start->appName, start->title, start->url);
        if (!id) {
            throw CommandError("Visual mode never records " + start->appName + " (" + start->appID +
                               "): it is on the list of excluded apps.");
        }
        context.out << *id << "\n";
    });

    struct AddOptions {
        int64_t session = 0;
        std::string file;
        std::string textFile;
        std::optional<std::string> text;
    };
    auto add = std::make_shared<AddOptions>();
    auto* addCommand = visual.add_subcommand("add", "Add one JPEG picture to a session");
    addCommand->add_option("SESSION", add->session, "The session id from brell visual start")->required();
    addCommand->add_option("FILE", add->file, "The picture, a JPEG file")->required();
    auto* textFile = addCommand->add_option("--text-file", add->textFile, "A file with the text read off the window");
    addCommand->add_option("--text", add->text, "The text read off the window; - reads it from standard input")
        ->excludes(textFile);
    addCommand->callback([&context, add] {
        // The picture is checked before anything is stored.
        auto bytes = FileSystem::read(add->file);
        if (!bytes) {
            throw CommandError("there is no picture at " + add->file + ".");
        }
        if (!VisualPolicy::isJPEG(*bytes)) {
            throw CommandError(add->file + " is not a JPEG picture; Visual mode keeps JPEG pictures only.");
        }
        auto text = windowText(add->textFile, add->text);
        auto frame = context.memory().addVisualFrame(add->session, *bytes, text);
        if (!frame) {
            noSession(add->session);
        }
        context.out << "Added frame " << frame->id << " to session " << add->session << ".\n";
    });

    auto endSession = std::make_shared<int64_t>(0);
    auto* endCommand = visual.add_subcommand("end", "End a session; one without pictures is discarded");
    endCommand->add_option("SESSION", *endSession, "The session id")->required();
    endCommand->callback([&context, endSession] {
        MemoryStore& store = context.memory();
        existingSession(store, *endSession);
        auto session = store.endVisualSession(*endSession);
        if (!session) {
            context.out << "Session " << *endSession << " had no pictures and was discarded.\n";
            return;
        }
        context.out << "Session " << session->id << " ended with " << plural(session->frameCount, "picture") << ".\n";
    });
}

void registerBrowsing(CLI::App& visual, AppContext& context) {
    struct ListOptions {
        int64_t limit = 50;
        bool json = false;
    };
    auto list = std::make_shared<ListOptions>();
    auto* listCommand = visual.add_subcommand("list", "List the sessions with pictures, newest first");
    listCommand->add_option("--limit", list->limit, "Most sessions to list (default 50)")
        ->check(CLI::Range(int64_t{1}, maxLimit));
    listCommand->add_flag("--json", list->json, "Print the sessions as JSON");
    listCommand->callback([&context, list] {
        auto sessions = context.memory().visualSessions(list->limit);
        if (sessions.empty() && !list->json) {
            context.out << "No visual sessions.\n";
            return;
        }
        printSessions(context, sessions, list->json);
    });

    struct SearchOptions {
        std::vector<std::string> words;
        int64_t limit = 20;
        bool json = false;
    };
    auto search = std::make_shared<SearchOptions>();
    auto* searchCommand = visual.add_subcommand("search", "Find sessions by their note, app, title and window text");
    searchCommand->add_option("WORDS", search->words, "What to look for")->required();
    searchCommand->add_option("--limit", search->limit, "Most sessions to list (default 20)")
        ->check(CLI::Range(int64_t{1}, maxLimit));
    searchCommand->add_flag("--json", search->json, "Print the sessions as JSON");
    searchCommand->callback([&context, search] {
        std::string query = Text::join(search->words, " ");
        auto sessions = context.memory().searchVisual(query, search->limit);
        if (sessions.empty() && !search->json) {
            context.out << "No visual session matches \u201c" << query << "\u201d.\n";
            return;
        }
        printSessions(context, sessions, search->json);
    });

    struct ShowOptions {
        int64_t session = 0;
        bool json = false;
    };
    auto show = std::make_shared<ShowOptions>();
    auto* showCommand = visual.add_subcommand("show", "Show a session: its pictures, stars and what assistants see");
    showCommand->add_option("SESSION", show->session, "The session id")->required();
    showCommand->add_flag("--json", show->json, "Print the session as JSON");
    showCommand->callback([&context, show] {
        MemoryStore& store = context.memory();
        VisualSession s = existingSession(store, show->session);
        auto frames = store.visualFrames(s.id);
        std::vector<int64_t> shared;
        for (const auto& f : store.sharedVisualFrames(s.id)) {
            shared.push_back(f.id);
        }
        auto isShared = [&](int64_t id) { return std::find(shared.begin(), shared.end(), id) != shared.end(); };
        bool picked = std::any_of(frames.begin(), frames.end(), [](const VisualFrame& f) { return f.starred; });
        if (show->json) {
            Json j = sessionJson(s, true);
            Json all = Json::array();
            for (const auto& f : frames) {
                all.push_back({{"id", f.id},
                               {"at", ISODate::format(f.at)},
                               {"file", store.visualURL(f)},
                               {"starred", f.starred},
                               {"shared", isShared(f.id)}});
            }
            j["pictures"] = all;
            j["userPicked"] = picked;
            TextOutput::printJson(context.out, j);
            return;
        }
        auto& out = context.out;
        out << "Session " << s.id << ": " << TextOutput::oneLine(s.label()) << "\n";
        out << "  app: " << TextOutput::oneLine(s.appName) << " (" << TextOutput::oneLine(s.bundleID) << ")\n";
        out << "  from " << ISODate::format(s.startedAt, false) << " to " << ISODate::format(s.endedAt, false) << "\n";
        if (s.url) {
            out << "  address: " << TextOutput::oneLine(*s.url) << "\n";
        }
        if (!s.note.empty()) {
            out << "  note: " << TextOutput::oneLine(s.note) << "\n";
        }
        out << "  " << plural(static_cast<int64_t>(frames.size()), "picture") << "; an assistant would see "
            << shared.size() << (picked ? " (the starred ones)" : " (spread across the session)") << "\n";
        for (const auto& f : frames) {
            out << "  #" << f.id << "  " << ISODate::format(f.at, false) << "  " << f.file
                << (f.starred ? "  \u2605 starred" : "") << (isShared(f.id) ? "  shared" : "") << "\n";
        }
        if (!s.text.empty()) {
            out << "  window text:\n";
            for (const auto& line : Text::split(s.text, '\n')) {
                out << "    " << TextOutput::oneLine(line) << "\n";
            }
        }
    });
}

void registerEditing(CLI::App& visual, AppContext& context) {
    struct NoteOptions {
        int64_t session = 0;
        std::vector<std::string> text;
    };
    auto note = std::make_shared<NoteOptions>();
    auto* noteCommand = visual.add_subcommand("note", "Write the session's note (an empty note clears it)");
    noteCommand->add_option("SESSION", note->session, "The session id")->required();
    noteCommand->add_option("TEXT", note->text, "The note");
    noteCommand->callback([&context, note] {
        MemoryStore& store = context.memory();
        existingSession(store, note->session);
        store.setVisualNote(note->session, Text::join(note->text, " "));
        context.out << (note->text.empty() ? "Note cleared.\n" : "Note saved.\n");
    });

    struct StarOptions {
        int64_t frame = 0;
        bool off = false;
    };
    auto star = std::make_shared<StarOptions>();
    auto* starCommand = visual.add_subcommand("star", "Star a picture for sharing with assistants");
    starCommand->add_option("FRAME", star->frame, "The frame id from brell visual show")->required();
    starCommand->add_flag("--off", star->off, "Remove the star");
    starCommand->callback([&context, star] {
        MemoryStore& store = context.memory();
        if (!store.visualFrame(star->frame)) {
            noFrame(star->frame);
        }
        store.setVisualFrameStarred(star->frame, !star->off);
        context.out << "Frame " << star->frame << (star->off ? " is no longer starred.\n" : " is starred.\n");
    });

    struct DeleteOptions {
        std::optional<int64_t> session;
        std::optional<int64_t> frame;
    };
    auto remove = std::make_shared<DeleteOptions>();
    auto* deleteCommand = visual.add_subcommand("delete", "Delete a session with its pictures, or one picture");
    auto* sessionOption = deleteCommand->add_option("SESSION", remove->session, "The session id");
    deleteCommand->add_option("--frame", remove->frame, "Delete only this picture")->excludes(sessionOption);
    deleteCommand->callback([&context, remove] {
        MemoryStore& store = context.memory();
        if (remove->frame) {
            auto frame = store.visualFrame(*remove->frame);
            if (!frame) {
                noFrame(*remove->frame);
            }
            store.deleteVisualFrame(frame->id);
            context.out << "Deleted frame " << frame->id << ".";
            if (!store.visualSession(frame->sessionID)) {
                context.out << " It was the last of session " << frame->sessionID << ", which is deleted too.";
            }
            context.out << "\n";
            return;
        }
        if (!remove->session) {
            throw CLI::RequiredError("SESSION or --frame");
        }
        VisualSession s = existingSession(store, *remove->session);
        store.deleteVisualSession(s.id);
        context.out << "Deleted session " << s.id << " and its " << plural(s.frameCount, "picture") << ".\n";
    });
}

} // namespace

void registerVisualCommands(CLI::App& app, AppContext& context) {
    auto* visual = app.add_subcommand("visual", "Record, browse, share and delete Visual-mode sessions");
    visual->require_subcommand(1);
    registerRecording(*visual, context);
    registerBrowsing(*visual, context);
    registerEditing(*visual, context);
}

} // namespace brell
