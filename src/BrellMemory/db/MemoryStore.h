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
#include <optional>
#include <string>
#include <string_view>

#include "BrellMemory/db/MemoryConfig.h"
#include "BrellMemory/db/SQLiteDB.h"
#include "BrellMemory/store/ChunkRecord.h"
#include "BrellMemory/store/ExposureLabel.h"
#include "BrellMemory/store/Intervals.h"
#include "BrellMemory/store/MemorySource.h"
#include "BrellMemory/store/MemoryState.h"
#include "util/Date.h"

namespace brell {

class MemoryStore {
public:
    // Opens the database at `path` (a file or ":memory:") and migrates it. Throws the
    // error of opening or migrating; no store exists after a failure.
    explicit MemoryStore(const std::string& path, MemoryConfig config = MemoryConfig::defaults(),
                         Clock now = nullptr);

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

    // ---- Captured transcripts and seen-before ----

    // ---- Memory search ----

    // Seconds since 1970 as the shortest decimal that reads back to the same double.
    static std::string dateText(Date date);

private:
    void bumpEpoch();
};

} // namespace brell
