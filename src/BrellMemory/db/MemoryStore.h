#pragma once
// MemoryStore: the single owner of the memory database Memory.sqlite. It opens and
// migrates the file, keeps the limits in force (`config`) and the clock every memory
// operation uses (`now`), and carries the operations of every memory subsystem,
// grouped below by what they work on (each group is implemented in its own file).
//
// One store per process and connection; the companion host, the application and the
// connector each open their own on the same file. Calls may come from several threads
// (the connection is serialized), but a transaction stays on one thread. Operations
// throw SQLiteDB::DBError unless stated.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "BrellMemory/db/MemoryConfig.h"
#include "BrellMemory/db/SQLiteDB.h"
#include "BrellMemory/insights/CandidateDraft.h"
#include "BrellMemory/insights/Excerpt.h"
#include "BrellMemory/insights/FeedbackReason.h"
#include "BrellMemory/insights/Insight.h"
#include "BrellMemory/insights/InsightStatus.h"
#include "BrellMemory/insights/Project.h"
#include "BrellMemory/insights/ProjectTask.h"
#include "BrellMemory/insights/TaskContext.h"
#include "BrellMemory/recall/AskResult.h"
#include "BrellMemory/recall/SearchHit.h"
#include "BrellMemory/records/AssistantBrell.h"
#include "BrellMemory/records/ContextPassage.h"
#include "BrellMemory/records/ScreenGlimpse.h"
#include "BrellMemory/records/VisualPicture.h"
#include "BrellMemory/records/VisualSummary.h"
#include "BrellMemory/screen/ScreenCapture.h"
#include "BrellMemory/screen/ScreenGroup.h"
#include "BrellMemory/screen/ScreenPolicy.h"
#include "BrellMemory/store/ChunkRecord.h"
#include "BrellMemory/store/ExposureLabel.h"
#include "BrellMemory/store/Intervals.h"
#include "BrellMemory/store/MemorySource.h"
#include "BrellMemory/store/MemoryState.h"
#include "BrellMemory/store/SeenBefore.h"
#include "BrellMemory/visual/VisualFrame.h"
#include "BrellMemory/visual/VisualSession.h"
#include "util/Date.h"

namespace brell {

class MemoryStore {
public:
    // Opens the database at `path` (a file or ":memory:") and migrates it. Throws the
    // error of opening or migrating; no store exists after a failure.
    explicit MemoryStore(const std::string& path, MemoryConfig config = MemoryConfig::defaults(), Clock now = nullptr);

    // The database at `path` opened read-only (SQLiteDB::Access::readOnly), never
    // created or migrated: nothing when the file does not exist, cannot be opened, or
    // is not at the current schema version. For readers that must not write, such as
    // the assistant connector. Never throws (only std::bad_alloc).
    static std::unique_ptr<MemoryStore>
    openReadOnly(const std::string& path, MemoryConfig config = MemoryConfig::defaults(), Clock now = nullptr);

    // BRELL_MEMORY_DB (with "~" expanded) when set and not empty; otherwise
    // BRELL/Memory.sqlite in the user's application-support folder.
    static std::string defaultPath();

    SQLiteDB db;
    const MemoryConfig config;
    Clock now; // may be replaced at any time; read whenever a time is needed

    // meta(key): nothing without a row, "" when the value is not text.
    std::optional<std::string> meta(std::string_view key);
    // SHA-256 of the UTF-8 bytes as 64 lower-case hexadecimal digits.
    static std::string sha(std::string_view text);

    // ---- Figures the application shows ----

    // Whether chunks are searched through the full-text index (meta 'fts5' is '1'); an
    // unreadable setting counts as no index, so search falls back to patterns. Never throws.
    bool hasFullTextSearch() noexcept;
    // Rows of the memory's main tables.
    int64_t sourceCount();
    int64_t chunkCount();
    // The imported comments stored for one source.
    int64_t commentCount(int64_t sourceID);

    // ---- Consent, state and approved origins ----

    // Throws DBError(0, "consent row missing") when the consent row is absent.
    MemoryState state();
    void decide(bool enable, bool youtube);
    void setEnabled(bool on);
    void setPaused(bool on);
    void setYouTube(bool on);
    void setProviderConsent(bool on);
    void setProactive(bool on);
    void snooze(std::optional<Date> until);
    // The canonical origin approved, or nothing for an unusable or refused origin.
    std::optional<std::string> approveOrigin(std::string_view origin, bool indexText);
    void revokeOrigin(std::string_view origin, bool deletePastData);
    // Withdraws insights citing the source's chunks, then deletes the source (its
    // sessions, exposure and chunks go by cascade). Runs inside the caller's transaction.
    void deleteSourceRows(int64_t id);
    // Notes that the companion was heard from now; never fails.
    void touchHost() noexcept;

    // "https://" + lower-cased host [+ ":" + port], or nothing unless the text is an
    // https address with a dotted, non-local host.
    static std::optional<std::string> canonicalOrigin(std::string_view text);
    // localhost, *.local/.localhost/.internal, private and loopback IPv4, IPv6 literals.
    static bool isLocalHost(std::string_view host);

    // ---- Sources, chunks and exposure ----

    std::optional<MemorySource> source(int64_t id);
    std::optional<MemorySource> source(std::string_view key);
    // Most recently seen first; `kind` "video" or "article" when given.
    std::vector<MemorySource> sources(std::optional<std::string> kind, bool includeMuted);
    static MemorySource sourceFrom(const SQLiteDB::Row& row);
    // An available chunk by id.
    std::optional<ChunkRecord> chunk(int64_t id);
    // A source's chunks (available or not), by start within a kind, or by kind first.
    std::vector<ChunkRecord> chunks(int64_t sourceID, std::optional<std::string> kind = std::nullopt);
    static ChunkRecord chunkFrom(const SQLiteDB::Row& row);
    bool hasSessions(int64_t sourceID);
    // Merged ranges over all sessions; `kind` "range" (watched while visible) or "played".
    std::vector<Range> observedRanges(int64_t sourceID, std::string_view kind);
    // (locator, label) of the article sections seen in view.
    std::vector<std::pair<std::string, std::string>> observedAnchors(int64_t sourceID);
    // How the user met this chunk (at this cue); nothing for titles and notes.
    std::optional<ExposureLabel> exposure(const ChunkRecord& chunk, std::optional<int64_t> cueMs);
    // The address that opens the source at this chunk: the watch page at the second,
    // a comment link, or a text-fragment link for an article passage.
    static std::string openURL(const ChunkRecord& chunk, std::optional<int64_t> cueMs,
                               std::optional<std::string> excerpt);

    // The database key a page is remembered under ("youtube:" + id or "article:" +
    // canonical address), or nothing for a page that is never remembered.
    static std::optional<std::string> sourceKey(std::string_view page);

    // ---- Transcript files and comment imports ----
    // Entry points for the application and the brell tool; the companion host stores
    // captured captions through TranscriptRows instead. Digests, statuses and the rows
    // written are described in docs/transcripts.md.

    // Hears (items written, all items) while an import writes its rows.
    using ImportProgress = std::function<void(std::size_t done, std::size_t total)>;

    // Replaces the video's transcript with the chunks of a timed-text file and returns
    // how many chunks were built; 0, changing nothing, when the file is the one last
    // imported for this video. `provenance` is 'imported', 'fixture' or 'api'; the
    // status becomes 'fixture' for fixtures, else 'imported'. Throws
    // TranscriptError::empty() when the source is missing or not a video (before the
    // file is read), the reader's TranscriptError, or DBError; a failure changes nothing.
    int64_t importTranscript(int64_t sourceID, std::string_view fileText, std::string_view provenance,
                             const ImportProgress& progress = nullptr);
    // Adds comments, (id, text) in order, as 'comment' chunks "c:" + id with the text cut
    // to its first 2000 characters; a comment already stored with the same id and text
    // is skipped. The comments status becomes 'fixture' for fixtures, else 'fetched'.
    // All or nothing: DBError (a missing source fails on its foreign key) rolls back.
    void importComments(int64_t sourceID, const std::vector<std::pair<std::string, std::string>>& comments,
                        std::string_view provenance, const ImportProgress& progress = nullptr);
    // Notes that the video has no transcript to get; only from the status 'none'.
    void markTranscriptUnavailable(int64_t sourceID);
    // The id of the video's source ("youtube:" + `videoID`, an 11-character id),
    // created as a first companion visit would when memory has none: kind 'video', the
    // canonical watch address, `title`, YouTube's origin, first and last seen now. An
    // existing source is returned unchanged.
    int64_t ensureVideoSource(std::string_view videoID, std::string_view title);

    // ---- Captured transcripts and seen-before ----

    // A visit still in progress (last seen this recently) is not a visit "before".
    static constexpr double liveSessionWindow = 120.0;
    // Earlier visits to `url`: sessions that ended before the live window, or with
    // `excludingSince`, sessions that started before it. Nothing when memory is off,
    // the page is unknown or muted, or nothing was watched or read.
    std::optional<SeenBefore> seenBefore(std::string_view url, std::optional<Date> excludingSince);

    // ---- Screen memory ----
    // The application hands in what it read off the front window; readings of one
    // window (application and title) whose text stays the same or similar
    // (ScreenPolicy::similar) refresh one record, others start a new one. Every write is
    // one statement (recordScreen's after one read), so nothing is left half-written. A
    // `limit` below 1 gives nothing.

    // What recordScreen did: a new record, an existing one refreshed, or nothing stored.
    struct RecordResult {
        enum class Kind { inserted, extended, skipped };
        Kind kind = Kind::skipped;
        int64_t id = 0; // the record's row id; 0 when skipped

        static RecordResult inserted(int64_t id) { return {Kind::inserted, id}; }
        static RecordResult extended(int64_t id) { return {Kind::extended, id}; }
        static RecordResult skipped() { return {}; }
        // "inserted 12", "extended 12" or "skipped".
        std::string description() const;

        bool operator==(const RecordResult&) const = default;
    };

    // Stores one reading unless memory is off or paused, screen memory is off, the app is
    // excluded (excludedApps) or the trimmed text has fewer than 20 characters. The text
    // keeps its first 8,000 characters and the title its first 300 (not trimmed). A
    // refresh sets last_at, text and text_hash (retiring the summary when the text
    // changed); the name and address stay as first stored. An empty `url` counts as none.
    RecordResult recordScreen(std::string_view bundleID, std::string_view appName, std::string_view windowTitle,
                              const std::optional<std::string>& url, std::string_view text);
    // Newest first (by last_at), last seen at or after `since`. With `messagingOnly`,
    // only mail and chat windows, chosen among the 5 × limit newest.
    std::vector<ScreenCapture> screenCaptures(std::optional<Date> since, int64_t limit, bool messagingOnly = false);
    // Captures holding any of the query's expanded terms (QueryTerms::terms), best first:
    // by the full-text rank over text and title when screen_fts exists, else newest
    // first among texts containing one of the first 6 terms.
    std::vector<ScreenCapture> searchScreen(std::string_view query, int64_t limit);
    // Topic groups, most recently active first.
    std::vector<ScreenGroup> screenGroups(int64_t limit);
    std::optional<ScreenCapture> screenCapture(int64_t id);
    // Stores a summary written for the record's current text; `group` replaces the topic
    // only when given.
    void setScreenSummary(int64_t id, std::string_view summary, const std::optional<std::string>& group);
    // Sets the topic; nothing or an empty group clears it.
    void setScreenGroup(int64_t id, const std::optional<std::string>& group);
    void deleteScreenCapture(int64_t id);
    void clearScreenMemory();
    // The screen switch of the consent row; the capture epoch stays.
    void setScreen(bool on);
    // ScreenPolicy::alwaysExcluded and the user's own list (meta 'screen_excluded').
    // Never fails: an unreadable list counts as empty.
    ScreenPolicy::BundleSet excludedApps();
    // Replaces the user's list, in order, without the always-excluded identifiers.
    void setExtraExcludedApps(const std::vector<std::string>& bundleIDs);
    // Windows for assistants: the newest for an empty query, else a topic group named
    // like the query (ignoring case and diacritics) followed by search hits. Mail, chat
    // and assistant windows are left out; captures of one app and page (or title when
    // there is no address) fold into one glimpse. At most `limit`, first seen first.
    std::vector<ScreenGlimpse> screenGlimpses(std::string_view matching, int64_t limit);
    // Reads a screen_capture row; a summary counts only while written for this text.
    static ScreenCapture screenFrom(const SQLiteDB::Row& row);
    // The capture as a recall passage of kind "screen", source id −(capture id).
    static ChunkRecord screenChunk(const ScreenCapture& capture);

    // ---- Screen summaries and catch-up ----
    // The stores' side of summarising windows and catching up on messages; the requests
    // themselves are ScreenSummary's and CatchUp's.

    // How far back the catch-up looks: the last 24 hours.
    static constexpr double catchUpWindow = 24 * 60 * 60;
    // Windows waiting for a summary: none written yet, or one written for an older text.
    // Newest first (by last_at), at most `limit`.
    std::vector<ScreenCapture> screenCapturesToSummarize(int64_t limit);
    // The mail and chat windows seen within catchUpWindow of now, newest first, at most
    // `limit` (screenCaptures with messagingOnly).
    std::vector<ScreenCapture> catchUpCaptures(int64_t limit);
    // The connector's screenGroups provider: topic groups counting only the windows an
    // assistant may see (no mail, chat or assistant windows, as screenGlimpses), so a
    // group named from a mail window never reaches an assistant. Most recently active
    // first (by name among equals), at most `limit`.
    std::vector<ScreenGroup> sharedScreenGroups(int64_t limit);

    // ---- Memory search ----

    // The chunks holding the query's terms (QueryTerms::terms), best first: more of the
    // user's own terms in the text first, then the full-text rank. At most `limit` hits
    // (searchChunkLimit when absent; none when below 1), chosen among the 2 × limit best
    // rows the database gives, so a narrow `kinds` may leave fewer. Uses the full-text
    // index when meta 'fts5' is '1', else substring patterns (an unreadable meta value
    // also selects patterns). Muted sources and unavailable chunks are never found.
    std::vector<SearchHit> searchChunks(std::string_view query, std::optional<int64_t> limit = std::nullopt,
                                        const std::optional<std::vector<std::string>>& kinds = std::nullopt);
    // Up to three sources for a question, each with its best hit, exposure, reason and
    // open address, and how strongly the first one matched.
    AskResult ask(std::string_view query);
    // The media position to cite: inside a transcript chunk the start of the cue that
    // matches most terms (the first of equals), else the chunk's own start. Pure.
    static std::optional<int64_t> bestCue(const ChunkRecord& chunk, const std::vector<std::string>& terms);
    // The text to show: a transcript from one cue before `cueMs`, otherwise the whole
    // text, cut to `limit` characters at the last space with "…" appended. `terms` is
    // not used. Pure.
    static std::string excerpt(const ChunkRecord& chunk, std::optional<int64_t> cueMs,
                               const std::vector<std::string>& terms, std::size_t limit);
    // "Matched “a”, “b” in the transcript at 12:04", or "Related wording in …". Pure.
    static std::string reason(const SearchHit& hit, const std::vector<std::string>& original);
    // The address that opens a hit's source at its passage: at the cue, or for article
    // text at the start of the excerpt, ending on a whole word. Pure.
    static std::string openURL(const SearchHit& hit);

    // ---- Moments ----

    // Passages a moment request may name: memory hits, then screen text matching the
    // question or seen in the last day, then the chunks of the most recent sources, at
    // most `limit`, each once.
    std::vector<ChunkRecord> momentCandidates(std::string_view question, std::size_t limit, int64_t recentSources);
    // The link that opens a moment: a video at the second, a saved quote's page with its
    // text highlighted, screen text's page or app, or the passage's own open address.
    static std::string momentURL(const ChunkRecord& chunk, std::optional<int64_t> ms);
    // Passages for assistants without a model: the best hits, at most three per source.
    std::vector<ContextPassage> momentPassages(std::string_view query, std::size_t limit);
    // One transcript or article hit as an assistant reads it: its kind, title, where it
    // sits, at most `excerptChars` of its text around the cue, whether the user met it
    // (left out when the exposure cannot be read) and the link there.
    ContextPassage contextPassage(const SearchHit& hit, std::size_t excerptChars);

    // ---- Topic context ----

    // Passages about a topic for an assistant: the best transcript and article hits
    // (among 4 × limit), at most two per source and `limit` in all, each with where it
    // sits, whether the user met it and a link there. Throws the search's DBError only;
    // an exposure that cannot be read leaves that passage without a status.
    std::vector<ContextPassage> contextPassages(std::string_view topic, std::size_t limit);

    // Seconds since 1970 as the shortest decimal that reads back to the same double.
    static std::string dateText(Date date);

private:
    MemoryStore(SQLiteDB db, MemoryConfig config, Clock now);
    void bumpEpoch();

    // ==== Visual sessions; retention, muting and deletion ====
public:
    // ---- Visual sessions ----
    // Pictures live in the folder `Visual` beside the database, one folder per session
    // named by its id (0700), one file per frame (0600 from the moment it exists); rows
    // hold only file names. Rows and files agree: a picture is written under the write
    // lock before its row, and removed only after the transaction that deleted its row
    // committed, so a rollback never leaves a row without its picture. Folders and
    // pictures left without rows by a crash between commit and removal are swept by
    // purgeExpired. Removing a file never fails an operation. A store on ":memory:" has
    // no Visual folder: adding a frame throws FileError, deletions touch no file.

    // A new session, or nothing for an excluded app (excludedApps). The title keeps
    // its first 300 characters; an empty `url` counts as none.
    std::optional<int64_t> beginVisualSession(std::string_view bundleID, std::string_view appName,
                                              std::string_view windowTitle, const std::optional<std::string>& url);
    // Stores one picture (JPEG bytes) of the session and merges the distinct lines of
    // `text` (3 characters or more, trimmed of spaces and tabs) into the session text,
    // up to 8,000 characters; moves ended_at to now. Nothing for an unknown session (no
    // file written). Throws FileError when the folder or picture cannot be written,
    // before any row is; a database failure removes the picture again.
    std::optional<VisualFrame> addVisualFrame(int64_t sessionID, std::string_view jpeg,
                                              const std::optional<std::string>& text);
    // Closes the session: one with frames is returned; one without is deleted and
    // nothing is returned (as for an unknown id).
    std::optional<VisualSession> endVisualSession(int64_t id);
    std::optional<VisualSession> visualSession(int64_t id);
    // Newest start first among the `limit` newest, sessions without frames left out.
    std::vector<VisualSession> visualSessions(int64_t limit);
    std::optional<VisualFrame> visualFrame(int64_t id);
    // By time, then id.
    std::vector<VisualFrame> visualFrames(int64_t sessionID);
    // What an assistant may see: the first 12 starred frames, or 8 spread over the
    // session when none is starred.
    std::vector<VisualFrame> sharedVisualFrames(int64_t sessionID);
    // Among the 300 newest sessions, those whose note, app, title and text hold one of
    // the query's expanded terms: more original terms first, then more expanded terms,
    // then newest. At most `limit`; nothing for a query without terms.
    std::vector<VisualSession> searchVisual(std::string_view query, int64_t limit);
    // Trimmed, first 500 characters.
    void setVisualNote(int64_t id, std::string_view note);
    void setVisualFrameStarred(int64_t id, bool on);
    // Deletes the frame, and its session when it was the last; then its file.
    void deleteVisualFrame(int64_t id);
    // Deletes the session's rows, then its folder (a missing folder is fine).
    void deleteVisualSession(int64_t id);
    // Deletes the sessions that ended before `before`, in one transaction; returns how
    // many.
    int64_t purgeVisual(Date before);
    // Deletes every session and frame, then the pictures.
    void clearVisualMemory();
    // The `Visual` folder beside the database; empty for ":memory:".
    std::string visualDirectory() const;
    // The frame's picture file.
    std::string visualURL(const VisualFrame& frame) const;
    static VisualSession visualSessionFrom(const SQLiteDB::Row& row);
    static VisualFrame visualFrameFrom(const SQLiteDB::Row& row);

    // The connector's providers. visualSummaries: the newest sessions for a blank
    // query, else searchVisual, at most `limit`. visualPictures: the session and its
    // shared frames' pictures in time order (a frame whose file is gone is left out),
    // or nothing for an unknown session or one without frames.
    std::vector<VisualSummary> visualSummaries(std::string_view query, int64_t limit);
    std::optional<std::pair<VisualSummary, std::vector<VisualPicture>>> visualPictures(int64_t sessionID);
    VisualSummary visualSummary(const VisualSession& session);

    // ---- Retention, muting and deletion ----
    // Each operation is one BEGIN IMMEDIATE transaction: all of it or none of it, the
    // database error rethrown after the rollback. Insights citing removed or hidden
    // material are withdrawn; insights the user kept ('saved', 'useful') survive.

    // What one purge removed.
    struct PurgeResult {
        int64_t sources = 0;        // sources not seen within the retention period
        int64_t sessions = 0;       // old viewing sessions of sources seen since
        int64_t events = 0;         // expired event ids (their resend is accepted again)
        int64_t screenCaptures = 0; // screen windows not seen within the period
        int64_t visualSessions = 0; // Visual sessions that ended before the cut-off
        int64_t insights = 0;       // old suggestions the user did not keep
        int64_t orphans = 0;        // picture folders and files no row refers to

        bool operator==(const PurgeResult&) const = default;
    };

    // Removes what is older than the retention period (state().retentionDays), notes the
    // time in meta 'last_purge', then sweeps orphaned pictures. The state is read
    // before the transaction; a failure to read it stops the purge.
    PurgeResult purgeExpired();
    // Sets the retention to 7, 30 or 90 days and purges; any other value changes
    // nothing and gives nothing. No epoch change.
    std::optional<PurgeResult> setRetention(int64_t days);
    static bool isRetention(int64_t days) { return days == 7 || days == 30 || days == 90; }
    // Deletes the source for good (deleteSourceRows) and increases the capture epoch.
    // Returns whether the source existed; the epoch rises either way.
    bool deleteSource(int64_t id);
    // Hides or shows the source; muting withdraws the insights citing it, unmuting does
    // not restore them. No epoch change. Returns whether the source exists.
    bool setSourceMuted(int64_t id, bool muted);
    // Forgets every source, screen window and Visual session and withdraws the
    // insights not kept; consent, origins, projects and tasks stay; the epoch rises.
    void clearMemory();
    // When the last purge ran (meta 'last_purge'), or nothing.
    std::optional<Date> lastPurge();

    // The source withdrawal: withdraws the insights citing the source's chunks (of
    // `chunkKind` only, when given) that the user did not keep. Runs inside the caller's
    // transaction; every removal, muting or replacement of remembered text calls it.
    void withdrawInsightsCiting(int64_t sourceID, std::optional<std::string_view> chunkKind = std::nullopt);

private:
    // Row removals inside the caller's transaction; the caller removes the folders of
    // the sessions they name after its commit (removeVisualFolders).
    void deleteVisualSessionRows(int64_t id);
    std::vector<int64_t> purgeVisualRows(Date before);
    void removeVisualFolders(const std::vector<int64_t>& sessionIDs) noexcept;
    std::string visualSessionFolder(int64_t sessionID) const;
    // Removes picture folders of sessions without a row, and pictures of live sessions
    // without a row that are older than an hour (younger ones may be mid-add in another
    // process). Returns how many it removed; never throws.
    int64_t sweepVisualOrphans() noexcept;

    // ==== Projects, tasks and insights ====
public:
    // ---- Projects and tasks ----
    // Names and titles are trimmed of white space and line breaks, then cut; key words
    // are cut as given. Lengths are user-perceived characters (Project, ProjectTask).

    // With their current task; unarchived first, then newest first.
    std::vector<Project> projects(bool includeArchived);
    // Archived ones included.
    std::optional<Project> project(int64_t id);
    // A blank name becomes "Untitled project". Returns the new id.
    int64_t createProject(std::string_view name, std::string_view keywords);
    // Returns whether the project exists.
    bool updateProject(int64_t id, std::string_view name, std::string_view keywords);
    // Archiving withdraws the project's open ('new', 'shown') insights in the same
    // transaction; unarchiving brings none back. Returns whether the project exists.
    bool setProjectArchived(int64_t id, bool archived);
    // Muting only stops delivery; insights stay as they are.
    bool setProjectMuted(int64_t id, bool muted);
    // Deletes the project with its tasks, insights, evidence rows and deliveries; its
    // feedback rows stay, detached from the project (project and insight NULL), so a
    // later project given the same id inherits nothing. Returns whether it existed.
    bool deleteProject(int64_t id);
    std::optional<ProjectTask> currentTask(int64_t projectID);
    // Edits the current task when it is active (a change raises the revision and
    // withdraws the task's open insights; no change does nothing), else starts a new
    // active task at revision 1. Returns the current task afterwards (nothing only when
    // the project went meanwhile). A missing project fails on its foreign key.
    std::optional<ProjectTask> setTask(int64_t projectID, std::string_view title, std::string_view objective);
    // Marks the task done (revision + 1) and withdraws its open insights. Returns
    // whether the task exists.
    bool completeTask(int64_t taskID);

    // ---- Insight records ----

    // The project's insights with one of `statuses` (none: nothing), eligible first,
    // then by score, then newest first.
    std::vector<Insight> insights(int64_t projectID, const std::vector<InsightStatus>& statuses);
    std::optional<Insight> insight(int64_t id);
    // Records the user's answer and sets the status it gives; with muteSource and a
    // source, also mutes the source and withdraws every insight citing it, in any
    // project (kept ones excepted). A withdrawn insight stays withdrawn: its feedback is
    // recorded but its status does not change. Returns whether the insight exists.
    bool feedback(int64_t insightID, FeedbackReason reason, std::optional<int64_t> sourceID);
    // Shows a dismissed, not relevant, known or wrong-project insight again; returns
    // whether it did.
    bool restoreInsight(int64_t id);
    // Action signatures of steps the user dealt with in this project (known, not
    // relevant, dismissed, useful, saved), in row order.
    std::vector<std::string> suppressedSignatures(int64_t projectID);
    // An `insight` row with its available evidence, cue, exposure, link and label.
    Insight insightFrom(const SQLiteDB::Row& row);
    // "Title · 12:04", "Comment on Title", "Title · Heading" or the title alone; titles
    // longer than 36 characters show their first 35 and "…". Pure.
    static std::string evidenceLabel(const ChunkRecord& chunk, std::optional<int64_t> cueMs);

    // The brells not archived, newest first, as assistants see them: key words split
    // as typed (AssistantBrell::terms) and the task while it is in progress.
    std::vector<AssistantBrell> assistantBrells();

    // ---- Insight engine: evidence, candidates, budget and delivery ----

    // What deliver() hands out: one insight to show, or why there is none ("off",
    // "snoozed", "no_context", "cooldown", "no_evidence", "stale").
    struct DeliveryResult {
        enum class Kind { card, none };
        Kind kind = Kind::none;
        std::optional<Insight> insight; // card
        std::string reason;             // none

        static DeliveryResult card(Insight insight) { return {Kind::card, std::move(insight), {}}; }
        static DeliveryResult none(std::string reason) { return {Kind::none, std::nullopt, std::move(reason)}; }

        bool operator==(const DeliveryResult&) const = default;
    };

    // The project's active task, or nothing (no project, no task, or a finished one).
    // Archived and muted projects have one; delivery refuses them.
    std::optional<TaskContext> taskContext(int64_t projectID);
    // The passages memory holds for the task: search hits for its query text among
    // transcripts, comments and articles, from at most evidenceMaxSources sources and 3
    // per source, at most evidenceMaxExcerpts; passages opening with the same words
    // share the group of the first source that had them.
    std::vector<Excerpt> evidencePack(const TaskContext& task);
    // Scores and stores a draft as a 'new' insight with its evidence rows, or returns
    // nothing when an insight with its fingerprint stays: one the user saw, kept or
    // answered, or turned down with the same evidence. One transaction.
    std::optional<int64_t> saveCandidate(const CandidateDraft& draft, const TaskContext& task,
                                         const std::vector<Excerpt>& pack, bool timingNow);
    // One eligible insight of the project's current task revision, at most one per
    // context revision and none within projectCooldown of the last; candidates that no
    // longer hold are withdrawn on the way ('stale', or 'duplicate' for a step the user
    // already dealt with).
    DeliveryResult deliver(int64_t projectID, int64_t contextRevision);
    // Whether the loaded insight may still be shown: all `storedCount` evidence rows
    // still load (at least 2), none from a muted source, from 2 sources or more, and not
    // comments alone.
    bool revalidate(const Insight& insight, int64_t storedCount);
    // SHA-256 of task id | relationship | the chunk ids sorted ascending, joined by ",".
    static std::string fingerprint(int64_t taskID, std::string_view relationship, std::vector<int64_t> chunkIDs);
    // "model_jobs:" + today's local date ("yyyy-MM-dd").
    std::string modelBudgetKey();
    // Model jobs left today (modelDailyBudget minus those started); an unreadable count
    // counts as none started. Never throws.
    int64_t modelJobsLeft() noexcept;
    // Counts one model job started today.
    void consumeModelJob();

    // Which insights a withdrawal may touch: the open ones ('new', 'shown'), or every
    // one the user did not keep ('saved', 'useful') and that is not withdrawn already.
    enum class Withdrawable { open, unkept };

private:
    // The one writer of withdrawals: status 'withdrawn', eligible 0 and `holdReason` for
    // the insights matching `condition` (an SQL condition over `insight` with `params`)
    // that `which` allows. A withdrawn insight keeps its first reason. Returns how many
    // changed. Runs inside the caller's transaction, if any.
    int64_t withdrawInsights(const std::string& condition, const SQLiteDB::Params& params, Withdrawable which,
                             std::string_view holdReason);
    static ProjectTask taskFrom(const SQLiteDB::Row& row);
};

} // namespace brell
