// Visual-mode sessions: rows in visual_session and visual_frame, pictures in the
// Visual folder beside the database.
#include "BrellMemory/db/MemoryStore.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "BrellMemory/recall/QueryTerms.h"
#include "BrellMemory/visual/VisualPolicy.h"
#include "platform/FileSystem.h"
#include "platform/FolderTree.h"
#include "platform/SystemClock.h"
#include "util/Text.h"

namespace brell {
namespace {

using Value = SQLiteDB::Value;

constexpr const char* sessionSelect =
    "SELECT v.*, (SELECT count(*) FROM visual_frame f WHERE f.session_id = v.id) AS frames FROM visual_session v";

// Sessions searched, newest first.
constexpr int64_t searchedSessions = 300;
// Window-text lines shorter than this are interface clutter ("OK").
constexpr std::size_t minLineCharacters = 3;

std::string trimSpacesAndTabs(std::string_view line) {
    auto first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return "";
    }
    auto last = line.find_last_not_of(" \t");
    return std::string(line.substr(first, last - first + 1));
}

// The lines of a text, split at line feeds and carriage returns.
std::vector<std::string> lines(std::string_view text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
            out.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return out;
}

// The session text with the new distinct lines of `added` appended; merging stops
// once the text is over 7,999 characters and the result keeps the first 8,000.
std::string mergedText(const std::string& current, std::string_view added) {
    const std::size_t limit = VisualSession::maxTextCharacters;
    std::string text = current;
    std::size_t characters = Text::characterCount(text);
    if (characters > limit - 1) {
        return text;
    }
    std::set<std::string, std::less<>> seen;
    for (auto& line : lines(current)) {
        if (!line.empty()) {
            seen.insert(std::move(line));
        }
    }
    for (const auto& raw : lines(added)) {
        std::string line = trimSpacesAndTabs(raw);
        std::size_t length = Text::characterCount(line);
        if (length < minLineCharacters || seen.contains(line)) {
            continue;
        }
        if (!text.empty()) {
            text += '\n';
            characters += 1;
        }
        text += line;
        characters += length;
        seen.insert(std::move(line));
        if (characters > limit - 1) {
            break;
        }
    }
    return Text::prefixCharacters(text, limit);
}

std::string frameFileName(int64_t number) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%06lld.jpg", static_cast<long long>(number));
    return buffer;
}

void removeQuietly(const std::string& path) noexcept {
    try {
        FolderTree::removeAll(path);
    } catch (...) {
        // A picture that cannot be removed now is swept by the next purge.
    }
}

} // namespace

std::string MemoryStore::visualDirectory() const {
    if (db.path() == ":memory:" || db.path().empty()) {
        return "";
    }
    return FileSystem::parentFolder(db.path()) + "/Visual";
}

std::string MemoryStore::visualSessionFolder(int64_t sessionID) const {
    std::string root = visualDirectory();
    return root.empty() ? "" : root + "/" + std::to_string(sessionID);
}

std::string MemoryStore::visualURL(const VisualFrame& frame) const {
    std::string folder = visualSessionFolder(frame.sessionID);
    return folder.empty() ? "" : folder + "/" + frame.file;
}

VisualSession MemoryStore::visualSessionFrom(const SQLiteDB::Row& row) {
    VisualSession s;
    s.id = row.integer("id");
    s.startedAt = row["started_at"].real().value_or(0);
    s.endedAt = row["ended_at"].real().value_or(0);
    s.bundleID = row.text("app_bundle");
    s.appName = row.text("app_name");
    s.windowTitle = row.text("window_title");
    s.url = row.optText("url");
    s.note = row.text("note");
    s.text = row.text("text");
    s.frameCount = row.integer("frames");
    return s;
}

VisualFrame MemoryStore::visualFrameFrom(const SQLiteDB::Row& row) {
    return VisualFrame{row.integer("id"), row.integer("session_id"), row["at"].real().value_or(0), row.text("file"),
                       row.integer("starred") != 0};
}

std::optional<int64_t> MemoryStore::beginVisualSession(std::string_view bundleID, std::string_view appName,
                                                       std::string_view windowTitle,
                                                       const std::optional<std::string>& url) {
    if (excludedApps().contains(bundleID)) {
        return std::nullopt;
    }
    Date at = now();
    std::optional<std::string> address = url && !url->empty() ? url : std::nullopt;
    db.run("INSERT INTO visual_session(started_at, ended_at, app_bundle, app_name, window_title, url, note, text) "
           "VALUES (?, ?, ?, ?, ?, ?, '', '')",
           {Value(at), Value(at), Value(bundleID), Value(appName),
            Value(Text::prefixCharacters(windowTitle, VisualSession::maxTitleCharacters)), Value(address)});
    return db.lastInsertID();
}

std::optional<VisualFrame> MemoryStore::addVisualFrame(int64_t sessionID, std::string_view jpeg,
                                                       const std::optional<std::string>& text) {
    if (!visualSession(sessionID)) {
        return std::nullopt;
    }
    std::string folder = visualSessionFolder(sessionID);
    if (folder.empty()) {
        throw FileError("failed to store a picture: a memory held in RAM has no Visual folder");
    }
    FileSystem::makeFolders(folder, 0700);
    std::string written;
    try {
        // The picture is written under the write lock, so two writers never pick the
        // same frame number, and before its row, so no row ever lacks its picture.
        auto frame = db.transaction([&]() -> std::optional<VisualFrame> {
            auto current = db.one("SELECT text FROM visual_session WHERE id = ?", {Value(sessionID)});
            if (!current) {
                return std::nullopt; // deleted since it was read
            }
            // The id the row will get: never used before, so a picture removed late
            // after its row's deletion can never be a new frame's file of the same name.
            int64_t number =
                db.one("SELECT coalesce((SELECT seq FROM sqlite_sequence WHERE name = 'visual_frame'), 0) + 1 AS n")
                    ->integer("n");
            VisualFrame f{0, sessionID, now(), frameFileName(number), false};
            written = folder + "/" + f.file;
            FileSystem::writeAtomically(written, jpeg);
            db.run("INSERT INTO visual_frame(session_id, at, file, starred) VALUES (?, ?, ?, 0)",
                   {Value(sessionID), Value(f.at), Value(f.file)});
            f.id = db.lastInsertID();
            if (text) {
                std::string old = current->text("text");
                std::string merged = mergedText(old, *text);
                if (merged != old) {
                    db.run("UPDATE visual_session SET text = ? WHERE id = ?", {Value(merged), Value(sessionID)});
                }
            }
            db.run("UPDATE visual_session SET ended_at = ? WHERE id = ?", {Value(f.at), Value(sessionID)});
            return f;
        });
        if (!frame) {
            removeQuietly(folder);
        }
        return frame;
    } catch (...) {
        if (!written.empty()) {
            removeQuietly(written);
        }
        throw;
    }
}

std::optional<VisualSession> MemoryStore::endVisualSession(int64_t id) {
    auto session = visualSession(id);
    if (!session) {
        return std::nullopt;
    }
    if (session->frameCount > 0) {
        return session;
    }
    deleteVisualSession(id);
    return std::nullopt;
}

std::optional<VisualSession> MemoryStore::visualSession(int64_t id) {
    auto row = db.one(std::string(sessionSelect) + " WHERE v.id = ?", {Value(id)});
    if (!row) {
        return std::nullopt;
    }
    return visualSessionFrom(*row);
}

std::vector<VisualSession> MemoryStore::visualSessions(int64_t limit) {
    std::vector<VisualSession> out;
    for (const auto& row :
         db.query(std::string(sessionSelect) + " ORDER BY v.started_at DESC, v.id DESC LIMIT ?", {Value(limit)})) {
        auto session = visualSessionFrom(row);
        if (session.frameCount > 0) {
            out.push_back(std::move(session));
        }
    }
    return out;
}

std::optional<VisualFrame> MemoryStore::visualFrame(int64_t id) {
    auto row = db.one("SELECT * FROM visual_frame WHERE id = ?", {Value(id)});
    if (!row) {
        return std::nullopt;
    }
    return visualFrameFrom(*row);
}

std::vector<VisualFrame> MemoryStore::visualFrames(int64_t sessionID) {
    std::vector<VisualFrame> out;
    for (const auto& row :
         db.query("SELECT * FROM visual_frame WHERE session_id = ? ORDER BY at, id", {Value(sessionID)})) {
        out.push_back(visualFrameFrom(row));
    }
    return out;
}

std::vector<VisualFrame> MemoryStore::sharedVisualFrames(int64_t sessionID) {
    auto frames = visualFrames(sessionID);
    std::vector<VisualFrame> starred;
    for (const auto& f : frames) {
        if (f.starred && starred.size() < VisualPolicy::maxPickedFrames) {
            starred.push_back(f);
        }
    }
    if (!starred.empty()) {
        return starred;
    }
    return VisualPolicy::spread(frames, static_cast<int64_t>(VisualPolicy::sharedFrames));
}

std::vector<VisualSession> MemoryStore::searchVisual(std::string_view query, int64_t limit) {
    auto terms = QueryTerms::terms(query);
    if (terms.expanded.empty() || limit < 1) {
        return {};
    }
    struct Scored {
        VisualSession session;
        std::size_t original;
        std::size_t expanded;
    };
    std::vector<Scored> scored;
    for (auto& session : visualSessions(searchedSessions)) {
        std::string text = session.note + " " + session.appName + " " + session.windowTitle + " " + session.text;
        std::size_t expanded = QueryTerms::matched(terms.expanded, text).size();
        if (expanded == 0) {
            continue;
        }
        std::size_t original = QueryTerms::matched(terms.original, text).size();
        scored.push_back(Scored{std::move(session), original, expanded});
    }
    std::stable_sort(scored.begin(), scored.end(), [](const Scored& a, const Scored& b) {
        if (a.original != b.original) {
            return a.original > b.original;
        }
        if (a.expanded != b.expanded) {
            return a.expanded > b.expanded;
        }
        return a.session.startedAt > b.session.startedAt;
    });
    std::vector<VisualSession> out;
    for (auto& s : scored) {
        if (static_cast<int64_t>(out.size()) >= limit) {
            break;
        }
        out.push_back(std::move(s.session));
    }
    return out;
}

void MemoryStore::setVisualNote(int64_t id, std::string_view note) {
    std::string kept = Text::prefixCharacters(Text::trim(note), VisualSession::maxNoteCharacters);
    db.run("UPDATE visual_session SET note = ? WHERE id = ?", {Value(kept), Value(id)});
}

void MemoryStore::setVisualFrameStarred(int64_t id, bool on) {
    db.run("UPDATE visual_frame SET starred = ? WHERE id = ?", {Value(on ? 1 : 0), Value(id)});
}

void MemoryStore::deleteVisualSessionRows(int64_t id) {
    db.run("DELETE FROM visual_frame WHERE session_id = ?", {Value(id)});
    db.run("DELETE FROM visual_session WHERE id = ?", {Value(id)});
}

void MemoryStore::removeVisualFolders(const std::vector<int64_t>& sessionIDs) noexcept {
    for (int64_t id : sessionIDs) {
        std::string folder = visualSessionFolder(id);
        if (!folder.empty()) {
            removeQuietly(folder);
        }
    }
}

void MemoryStore::deleteVisualFrame(int64_t id) {
    // Only after the commit are files removed: a rollback leaves rows and pictures as
    // they were.
    struct Removal {
        std::optional<VisualFrame> frame;
        bool sessionGone = false;
    };
    Removal removal = db.transaction([&] {
        Removal r;
        auto row = db.one("SELECT * FROM visual_frame WHERE id = ?", {Value(id)});
        if (!row) {
            return r;
        }
        r.frame = visualFrameFrom(*row);
        db.run("DELETE FROM visual_frame WHERE id = ?", {Value(id)});
        if (!db.one("SELECT 1 AS x FROM visual_frame WHERE session_id = ? LIMIT 1", {Value(r.frame->sessionID)})) {
            deleteVisualSessionRows(r.frame->sessionID);
            r.sessionGone = true;
        }
        return r;
    });
    if (!removal.frame) {
        return;
    }
    if (removal.sessionGone) {
        removeVisualFolders({removal.frame->sessionID});
    } else if (std::string file = visualURL(*removal.frame); !file.empty()) {
        removeQuietly(file);
    }
}

void MemoryStore::deleteVisualSession(int64_t id) {
    db.transaction([&] { deleteVisualSessionRows(id); });
    removeVisualFolders({id});
}

std::vector<int64_t> MemoryStore::purgeVisualRows(Date before) {
    std::vector<int64_t> ids;
    for (const auto& row : db.query("SELECT id FROM visual_session WHERE ended_at < ?", {Value(before)})) {
        ids.push_back(row.integer("id"));
        deleteVisualSessionRows(ids.back());
    }
    return ids;
}

int64_t MemoryStore::purgeVisual(Date before) {
    auto ids = db.transaction([&] { return purgeVisualRows(before); });
    removeVisualFolders(ids);
    return static_cast<int64_t>(ids.size());
}

void MemoryStore::clearVisualMemory() {
    db.transaction([&] {
        db.run("DELETE FROM visual_frame");
        db.run("DELETE FROM visual_session");
    });
    sweepVisualOrphans();
}

int64_t MemoryStore::sweepVisualOrphans() noexcept {
    // A picture younger than this may belong to a frame another process is adding. File
    // times are the machine's, so they are compared with the machine's clock.
    constexpr double settled = 3600;
    int64_t removed = 0;
    try {
        std::string root = visualDirectory();
        if (root.empty()) {
            return 0;
        }
        // Ids are never reused, so an id up to the sequence read first that has no row
        // afterwards belongs to a deleted session; a larger one may be a session another
        // process began meanwhile.
        auto sequence = db.one("SELECT seq FROM sqlite_sequence WHERE name = 'visual_session'");
        int64_t highest = sequence ? sequence->integer("seq") : 0;
        std::set<int64_t> sessions;
        for (const auto& row : db.query("SELECT id FROM visual_session")) {
            sessions.insert(row.integer("id"));
        }
        for (const auto& entry : FolderTree::entries(root)) {
            if (!entry.isFolder || entry.name.empty() || entry.name.size() > 18 ||
                entry.name.find_first_not_of("0123456789") != std::string::npos) {
                continue; // not a session folder: not ours to judge
            }
            int64_t id = std::stoll(entry.name);
            std::string folder = root + "/" + entry.name;
            if (!sessions.contains(id)) {
                if (id <= highest) {
                    removeQuietly(folder);
                    ++removed;
                }
                continue;
            }
            std::set<std::string, std::less<>> files;
            for (const auto& row : db.query("SELECT file FROM visual_frame WHERE session_id = ?", {Value(id)})) {
                files.insert(row.text("file"));
            }
            for (const auto& picture : FolderTree::entries(folder)) {
                if (files.contains(picture.name) || systemNow() - picture.modifiedAt < settled) {
                    continue;
                }
                removeQuietly(folder + "/" + picture.name);
                ++removed;
            }
        }
    } catch (...) {
        // The sweep is tidying only; what it could not reach waits for the next purge.
    }
    return removed;
}

VisualSummary MemoryStore::visualSummary(const VisualSession& session) {
    auto frames = visualFrames(session.id);
    bool picked = std::any_of(frames.begin(), frames.end(), [](const VisualFrame& f) { return f.starred; });
    auto shared = sharedVisualFrames(session.id);
    return VisualSummary{session.id,
                         session.appName,
                         session.windowTitle,
                         session.note,
                         session.startedAt,
                         session.endedAt,
                         static_cast<int64_t>(frames.size()),
                         static_cast<int64_t>(shared.size()),
                         picked};
}

std::vector<VisualSummary> MemoryStore::visualSummaries(std::string_view query, int64_t limit) {
    if (limit < 1) {
        return {};
    }
    auto sessions = Text::isBlank(query) ? visualSessions(limit) : searchVisual(query, limit);
    std::vector<VisualSummary> out;
    for (const auto& s : sessions) {
        out.push_back(visualSummary(s));
    }
    return out;
}

std::optional<std::pair<VisualSummary, std::vector<VisualPicture>>> MemoryStore::visualPictures(int64_t sessionID) {
    auto session = visualSession(sessionID);
    if (!session || session->frameCount == 0) {
        return std::nullopt;
    }
    std::vector<VisualPicture> pictures;
    for (const auto& frame : sharedVisualFrames(sessionID)) {
        std::optional<std::string> bytes;
        try {
            bytes = FileSystem::read(visualURL(frame));
        } catch (const FileError&) {
            // An unreadable picture is left out like a missing one.
        }
        if (bytes) {
            pictures.push_back(VisualPicture{frame.at, std::vector<uint8_t>(bytes->begin(), bytes->end())});
        }
    }
    return std::make_pair(visualSummary(*session), std::move(pictures));
}

} // namespace brell
