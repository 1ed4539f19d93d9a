// brell import transcript …, brell import comments …: a video's timed-text file or
// comment list, brought into memory by hand (for videos the companion never captured).
#include <unistd.h>

#include <iostream>
#include <memory>

#include <CLI/CLI.hpp>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/host/HostProtocol.h"
#include "BrellMemory/store/Transcript.h"
#include "addresses/PageIdentity.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "platform/FileSystem.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

// Imports of fewer rows than this finish before a progress line could be read.
constexpr std::size_t progressFrom = 100;

// A percentage on one line of a terminal, rewritten in place and cleared at the end.
// Silent when standard output is not a terminal, so scripts and logs see only results.
class ProgressLine {
public:
    ProgressLine(std::ostream& out, std::string what) : out_(out), what_(std::move(what)) {}
    ~ProgressLine() { finish(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    MemoryStore::ImportProgress callback() {
        if (!::isatty(STDOUT_FILENO)) {
            return nullptr;
        }
        return [this](std::size_t done, std::size_t total) {
            if (total < progressFrom) {
                return;
            }
            int percent = static_cast<int>(done * 100 / total);
            if (percent != shown_) {
                shown_ = percent;
                out_ << "\r" << what_ << ": " << percent << "%" << std::flush;
            }
        };
    }

    void finish() {
        if (shown_ >= 0) {
            out_ << "\r\x1b[K" << std::flush;
            shown_ = -1;
        }
    }

private:
    std::ostream& out_;
    std::string what_;
    int shown_ = -1;
};

std::string readFile(const std::string& path) {
    auto bytes = FileSystem::read(path);
    if (!bytes) {
        throw CommandError("there is no file at " + path + ".");
    }
    return *bytes;
}

std::string videoIDOf(const std::string& address) {
    auto id = PageIdentity::youtubeID(address);
    if (!id) {
        throw CommandError("\"" + address +
                           "\" is not a YouTube video page; give the video's address with --video, for example "
                           "https://www.youtube.com/watch?v=dQw4w9WgXcQ.");
    }
    return *id;
}

std::string counted(std::size_t n, const std::string& one, const std::string& many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The video's source, created first when memory has none, with a line saying so.
MemorySource videoSource(AppContext& context, const std::string& videoID, const std::string& title) {
    MemoryStore& store = context.memory();
    bool known = store.source(std::string_view("youtube:" + videoID)).has_value();
    int64_t id = store.ensureVideoSource(
        videoID, HostProtocol::cleanTitle(Json(Text::sanitizeUTF8(title))).value_or("YouTube video"));
    MemorySource source = *store.source(id);
    if (!known) {
        context.out << "Added the video " << source.url << " to memory as \"" << source.title << "\".\n";
    }
    return source;
}

struct TranscriptOptions {
    std::string file;
    std::string video;
    std::string title;
};

void importTranscript(AppContext& context, const TranscriptOptions& options) {
    std::string text = readFile(options.file);
    std::string videoID = videoIDOf(options.video);
    // Read before anything is written: a file BRELL can't read leaves memory as it was.
    std::size_t cues = Transcript::parse(text).size();
    MemorySource source = videoSource(context, videoID, options.title);
    ProgressLine progress(context.out, "Storing transcript chunks");
    int64_t chunks = context.memory().importTranscript(source.id, text, "imported", progress.callback());
    progress.finish();
    if (chunks == 0) {
        context.out << "This transcript is already in memory for \"" << source.title << "\"; nothing changed.\n";
        return;
    }
    context.out << "Imported " << counted(cues, "cue", "cues") << " as "
                << counted(static_cast<std::size_t>(chunks), "transcript chunk", "transcript chunks") << " for \""
                << source.title << "\".\n";
}

struct CommentOptions {
    std::string file;
    std::string video;
};

constexpr const char* commentShape =
    "The comment file is a JSON array with one object per comment, each with a string \"id\" (the comment's id on "
    "YouTube) and a string \"text\"; other members are ignored. For example:\n"
    "  [{\"id\": \"UgxQ1\", \"text\": \"The part at 12:30 is the key.\"},\n"
    "   {\"id\": \"UgxQ2\", \"text\": \"Slides are linked below.\"}]\n"
    "Comments with empty text are skipped; a comment already in memory with the same id and text is not added again.";

// The (id, text) pairs of a comment file, without those of empty text.
std::vector<std::pair<std::string, std::string>> readComments(const std::string& path, const std::string& bytes,
                                                              std::size_t& skipped) {
    auto list = JsonText::parse(bytes);
    if (!list || !list->is_array()) {
        throw CommandError(path + " is not a comment list: it must be a JSON array of objects, each with a string "
                                  "\"id\" and a string \"text\".");
    }
    std::vector<std::pair<std::string, std::string>> comments;
    for (std::size_t k = 0; k < list->size(); ++k) {
        const Json& entry = (*list)[k];
        auto id = JsonText::string(JsonText::member(entry, "id"));
        auto text = JsonText::string(JsonText::member(entry, "text"));
        if (!id || id->empty() || !text) {
            throw CommandError("comment " + std::to_string(k + 1) + " in " + path +
                               " needs a string \"id\" that is not empty and a string \"text\".");
        }
        if (Text::isBlank(*text)) {
            ++skipped;
            continue;
        }
        comments.emplace_back(*id, *text);
    }
    if (comments.empty()) {
        throw CommandError(path + " holds no comments to import.");
    }
    return comments;
}

void importComments(AppContext& context, const CommentOptions& options) {
    std::string bytes = readFile(options.file);
    std::string videoID = videoIDOf(options.video);
    std::size_t skipped = 0;
    auto comments = readComments(options.file, bytes, skipped);
    MemorySource source = videoSource(context, videoID, "");
    MemoryStore& store = context.memory();
    int64_t before = store.commentCount(source.id);
    ProgressLine progress(context.out, "Storing comments");
    store.importComments(source.id, comments, "imported", progress.callback());
    progress.finish();
    auto added = static_cast<std::size_t>(store.commentCount(source.id) - before);
    context.out << "Imported " << counted(added, "comment", "comments") << " for \"" << source.title << "\"";
    if (added < comments.size()) {
        context.out << "; " << comments.size() - added << " already in memory";
    }
    if (skipped > 0) {
        context.out << "; " << counted(skipped, "empty comment", "empty comments") << " skipped";
    }
    context.out << ".\n";
}

} // namespace

void registerImportCommands(CLI::App& app, AppContext& context) {
    auto* import = app.add_subcommand("import", "Import a video's transcript file or comments into memory");
    import->require_subcommand(1);

    auto transcript = std::make_shared<TranscriptOptions>();
    auto* t = import->add_subcommand("transcript", "Import a video's transcript from a WebVTT or SubRip file");
    t->add_option("FILE", transcript->file, "A .vtt or .srt file of at most 2 MB")->required();
    t->add_option("--video", transcript->video, "The video's YouTube address")->required();
    t->add_option("--title", transcript->title, "The title to remember a video under when memory has none for it");
    t->footer("The file's cues replace any transcript memory holds for the video; importing the same file again "
              "changes nothing. docs/transcripts.md describes the accepted files.");
    t->callback([&context, transcript] { importTranscript(context, *transcript); });

    auto comments = std::make_shared<CommentOptions>();
    auto* c = import->add_subcommand("comments", "Import a video's comments from a JSON file");
    c->add_option("FILE", comments->file, "A JSON comment list (shape below)")->required();
    c->add_option("--video", comments->video, "The video's YouTube address")->required();
    c->footer(commentShape);
    c->callback([&context, comments] { importComments(context, *comments); });
}

} // namespace brell
