// The companion host killed with SIGKILL in the middle of its work, over and over, on
// one memory: each time it is fed a long stream of big events (video deltas of a
// thousand ranges, articles of four hundred blocks, transcripts of thousands of cues)
// and killed at a random moment, mostly inside a transaction. Each event is stored in
// one transaction with its ingested_event row, so after every kill the memory must open
// sound and hold, of that stream, exactly a first run of whole events: every event that
// was answered "accepted", and at most the one the host committed before it could
// answer; every one of them with all its rows, the others with none.
//
// (Killing the board's writer mid-rewrite is covered by the board store's own tests.)
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <random>
#include <set>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "BrellMemory/db/SQLiteDB.h"
#include "BrellMemory/store/Cue.h"
#include "BrellMemory/store/Transcript.h"
#include "platform/Fd.h"
#include "support/TestSupport.h"
#include "util/ISODate.h"
#include "util/Json.h"

extern char** environ;

namespace brell {
namespace {

using Clock = std::chrono::steady_clock;
using Value = SQLiteDB::Value;

const std::string companionOrigin = "chrome-extension://kembcdlbgbcnnchcnbdhbmbhbejnedjf/";
const std::string articleOrigin = "https://news.example.com";
constexpr int rounds = 12;
constexpr int eventsPerRound = 20;
constexpr int rangesPerDelta = 1000;
constexpr int blocksPerArticle = 400;
constexpr int anchorsPerArticle = 20;
constexpr int cuesPerTranscript = 4000;

double wallClock() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string uuid(unsigned group, unsigned long long n) {
    char text[37];
    std::snprintf(text, sizeof text, "%08x-0000-4000-8000-%012llx", group, n);
    return text;
}

// Eleven id characters, different for every n.
std::string videoID(unsigned long long n) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string id = "crash";
    for (int k = 0; k < 6; ++k) {
        id += digits[(n >> (6 * k)) & 63];
    }
    return id;
}

// One event of the stream and what it must leave in memory when it was stored.
struct Event {
    std::string id;
    std::string kind;
    std::string sourceKey;
    std::string session;    // deltas
    std::size_t chunks = 0; // article and transcript chunks it stores
    std::string body;       // the framed message
};

Event videoDelta(unsigned long long n, int64_t epoch) {
    Event e{uuid(0xc0000001u, n), "video.session_delta", "youtube:" + videoID(n), uuid(0x5e550001u, n), 0, ""};
    Json ranges = Json::array();
    Json played = Json::array();
    for (int k = 0; k < rangesPerDelta; ++k) {
        ranges.push_back({k * 3000, k * 3000 + 1000});
        played.push_back({k * 3000, k * 3000 + 1500}); // 1.5 s apart: never merged
    }
    std::string id = videoID(n);
    Json message = {
        {"version", 1},
        {"type", "ingest"},
        {"eventId", e.id},
        {"captureEpoch", epoch},
        {"observedAt", ISODate::format(wallClock())},
        {"kind", e.kind},
        {"source", {{"id", e.sourceKey}, {"url", "https://www.youtube.com/watch?v=" + id}, {"title", "Crash " + id}}},
        {"payload",
         {{"sessionId", e.session},
          {"activeWallMs", 60000},
          {"playedWallMs", 70000},
          {"rangesMs", ranges},
          {"playedRangesMs", played}}}};
    e.body = test::frame(message.dump());
    return e;
}

Event articleDelta(unsigned long long n, int64_t epoch) {
    std::string url = articleOrigin + "/crash/" + std::to_string(n);
    Event e{uuid(0xc0000002u, n), "article.session_delta", "article:" + url,
            uuid(0x5e550002u, n), blocksPerArticle,        ""};
    Json anchors = Json::array();
    for (int k = 0; k < anchorsPerArticle; ++k) {
        anchors.push_back({{"locator", "h" + std::to_string(k)}, {"label", "Heading " + std::to_string(k)}});
    }
    Json blocks = Json::array();
    for (int k = 0; k < blocksPerArticle; ++k) {
        // A heading of its own per block, so that every block is one chunk.
        std::string text = "Block " + std::to_string(k) + " of article " + std::to_string(n) + " about tides";
        text.resize(49, '.');
        blocks.push_back({{"locator", "p" + std::to_string(k)}, {"text", text}, {"heading", "H" + std::to_string(k)}});
    }
    Json message = {{"version", 1},
                    {"type", "ingest"},
                    {"eventId", e.id},
                    {"captureEpoch", epoch},
                    {"observedAt", ISODate::format(wallClock())},
                    {"kind", e.kind},
                    {"source", {{"id", e.sourceKey}, {"url", url}, {"title", "Crash article " + std::to_string(n)}}},
                    {"payload",
                     {{"sessionId", e.session},
                      {"activeWallMs", 45000},
                      {"anchors", anchors},
                      {"extraction", {{"blocks", blocks}}}}}};
    e.body = test::frame(message.dump());
    return e;
}

Event transcript(unsigned long long n, int64_t epoch) {
    std::string id = videoID(n);
    Event e{uuid(0xc0000003u, n), "video.transcript", "youtube:" + id, "", 0, ""};
    Json sent = Json::array();
    std::vector<Cue> cues;
    for (int k = 0; k < cuesPerTranscript; ++k) {
        std::string text = "crash cue " + std::to_string(k) + " of " + std::to_string(n);
        sent.push_back({k * 1000, text});
        int64_t start = int64_t{k} * 1000;
        cues.push_back(Cue{start, start + (k + 1 < cuesPerTranscript ? 1000 : 5000), text});
    }
    e.chunks = Transcript::chunks(cues, 20000, 60000, Transcript::maxChunkChars).size();
    Json message = {{"version", 1},
                    {"type", "ingest"},
                    {"eventId", e.id},
                    {"captureEpoch", epoch},
                    {"observedAt", ISODate::format(wallClock())},
                    {"kind", e.kind},
                    {"source", {{"id", e.sourceKey}, {"url", "https://www.youtube.com/watch?v=" + id}}},
                    {"payload", {{"cues", sent}, {"chapters", {{0, "Start"}}}}}};
    e.body = test::frame(message.dump());
    return e;
}

// A host fed `input` by a thread of its own while the caller reads its replies.
class FedHost {
public:
    FedHost(const std::map<std::string, std::string>& env, std::string input)
        : input_(std::move(input)), child_(test::binary("brell-memory-host"), options(env)) {
        // The input stays open after the last byte, until the kill: a host that ran out
        // of input would end by itself. A thread of its own feeds it while the caller reads.
        writer_ = std::thread([this] { child_.write(input_, std::chrono::minutes(2), false); });
    }

    ~FedHost() { kill(); }

    FedHost(const FedHost&) = delete;
    FedHost& operator=(const FedHost&) = delete;

    // Reads what the host wrote within `wait`; returns the number of whole replies so far.
    std::size_t read(std::chrono::milliseconds wait) {
        auto until = Clock::now() + wait;
        while (Clock::now() < until &&
               child_.readSome(bytes_, std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()))) {
        }
        return test::unframe(bytes_).size();
    }

    // SIGKILL, then everything the host had written before it died.
    std::vector<Json> kill() {
        if (!finished_) {
            child_.kill(SIGKILL);
            if (writer_.joinable()) {
                writer_.join();
            }
            test::ProcessResult result = child_.wait();
            killed_ = result.signal == SIGKILL;
            bytes_ += result.out;
            finished_ = true;
        }
        std::vector<Json> replies;
        std::string rest;
        for (const auto& body : test::unframe(bytes_, &rest)) {
            replies.push_back(JsonText::parse(body).value_or(Json()));
        }
        torn_ = !rest.empty();
        return replies;
    }

    bool killed() const { return killed_; }
    bool torn() const { return torn_; }

private:
    static test::ProcessOptions options(const std::map<std::string, std::string>& env) {
        test::ProcessOptions o;
        o.args = {companionOrigin};
        o.setEnv = env;
        return o;
    }

    std::string input_;
    test::Subprocess child_;
    std::thread writer_;
    std::string bytes_;
    bool finished_ = false;
    bool killed_ = false;
    bool torn_ = false;
};

class CrashSafetyTest : public ::testing::Test {
protected:
    test::TempFolder tmp;
    std::string db = tmp.file("Memory.sqlite");

    std::map<std::string, std::string> env() {
        return {{"BRELL_MEMORY_DB", db}, {"BRELL_BOARD", tmp.file("board.json")}};
    }

    test::ProcessResult brell(const std::vector<std::string>& args) {
        auto r = test::brell(args, env());
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        return r;
    }

    // Whether memory holds the event, whole (true) or not at all (false); a half-stored
    // event is a failure.
    bool holds(SQLiteDB& memory, const Event& e) {
        SCOPED_TRACE(e.kind + " " + e.id);
        bool recorded = memory.one("SELECT 1 AS x FROM ingested_event WHERE event_id = ?", {Value(e.id)}).has_value();
        auto source = memory.one("SELECT id, transcript_status FROM source WHERE key = ?", {Value(e.sourceKey)});
        int64_t sourceID = source ? source->integer("id") : -1;
        auto count = [&](const std::string& sql, const SQLiteDB::Params& params) {
            return memory.one(sql, params)->integer("n");
        };
        int64_t sessions =
            e.session.empty() ? 0 : count("SELECT count(*) AS n FROM session WHERE id = ?", {Value(e.session)});
        int64_t metadata =
            count("SELECT count(*) AS n FROM chunk WHERE source_id = ? AND kind = 'metadata'", {Value(sourceID)});
        if (!recorded) {
            EXPECT_FALSE(source.has_value()) << "the source of an event that was not stored";
            EXPECT_EQ(sessions, 0) << "the session of an event that was not stored";
            EXPECT_EQ(count("SELECT count(*) AS n FROM meta WHERE key IN (?, ?)",
                            {Value("article_version:" + std::to_string(sourceID)),
                             Value("transcript_hash:" + std::to_string(sourceID))}),
                      0);
            return false;
        }
        EXPECT_TRUE(source.has_value()) << "a stored event without its source";
        EXPECT_EQ(metadata, 1) << "a stored event without its title chunk";
        if (e.kind == "video.session_delta") {
            EXPECT_EQ(sessions, 1);
            EXPECT_EQ(
                count("SELECT count(*) AS n FROM exposure WHERE session_id = ? AND kind = 'range'", {Value(e.session)}),
                rangesPerDelta);
            EXPECT_EQ(count("SELECT count(*) AS n FROM exposure WHERE session_id = ? AND kind = 'played'",
                            {Value(e.session)}),
                      rangesPerDelta);
        } else if (e.kind == "article.session_delta") {
            EXPECT_EQ(sessions, 1);
            EXPECT_EQ(count("SELECT count(*) AS n FROM exposure WHERE session_id = ? AND kind = 'anchor'",
                            {Value(e.session)}),
                      anchorsPerArticle);
            EXPECT_EQ(
                count("SELECT count(*) AS n FROM chunk WHERE source_id = ? AND kind = 'article'", {Value(sourceID)}),
                static_cast<int64_t>(e.chunks));
            EXPECT_EQ(count("SELECT count(*) AS n FROM meta WHERE key = ?",
                            {Value("article_version:" + std::to_string(sourceID))}),
                      1);
        } else {
            EXPECT_EQ(source ? source->text("transcript_status") : "", "captured");
            EXPECT_EQ(
                count("SELECT count(*) AS n FROM chunk WHERE source_id = ? AND kind = 'transcript'", {Value(sourceID)}),
                static_cast<int64_t>(e.chunks));
            EXPECT_EQ(count("SELECT count(*) AS n FROM meta WHERE key = ?",
                            {Value("transcript_hash:" + std::to_string(sourceID))}),
                      1);
        }
        return true;
    }
};

TEST_F(CrashSafetyTest, KillingTheHostMidIngestionNeverLeavesAHalfStoredEvent) {
    ::signal(SIGPIPE, SIG_IGN);
    brell({"memory", "on"});
    brell({"memory", "youtube", "on"});
    brell({"origins", "approve", articleOrigin});
    auto status = JsonText::parse(brell({"memory", "status", "--json"}).out);
    ASSERT_TRUE(status.has_value());
    const int64_t epoch = (*status)["epoch"].get<int64_t>();

    std::mt19937 random(20260101);
    std::vector<Event> all;
    unsigned long long n = 0;
    int killedInside = 0;        // rounds killed before the stream was done
    int committedUnanswered = 0; // rounds killed between a commit and its answer
    int storedEvents = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<Event> stream;
        std::string input;
        for (int k = 0; k < eventsPerRound; ++k) {
            ++n;
            stream.push_back(k % 3 == 0   ? videoDelta(n, epoch)
                             : k % 3 == 1 ? articleDelta(n, epoch)
                                          : transcript(n, epoch));
            input += stream.back().body;
        }
        FedHost host(env(), input);
        // Half the rounds kill a little after a random number of answers; the others at a
        // random moment once the host has answered its first event.
        auto waitFor = [&host](std::size_t answers) {
            auto giveUp = Clock::now() + std::chrono::seconds(60);
            while (host.read(std::chrono::milliseconds(5)) < answers && Clock::now() < giveUp) {
            }
        };
        if (round % 2 == 0) {
            waitFor(std::uniform_int_distribution<std::size_t>(1, eventsPerRound / 2)(random));
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::uniform_int_distribution<int>(0, 40000)(random)));
        } else {
            waitFor(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 1000)(random)));
        }
        std::vector<Json> replies = host.kill();
        ASSERT_TRUE(host.killed()) << "the host ended by itself";
        EXPECT_FALSE(host.torn()) << "a reply was written in pieces";
        ASSERT_LE(replies.size(), stream.size());
        for (std::size_t k = 0; k < replies.size(); ++k) {
            EXPECT_EQ(replies[k]["status"], "accepted") << replies[k].dump();
            EXPECT_EQ(replies[k]["eventId"], stream[k].id);
        }

        // Opening the memory recovers its journal; it must be sound and hold a first
        // run of whole events: all that were answered, at most one more.
        SQLiteDB memory(db);
        ASSERT_EQ(memory.one("PRAGMA integrity_check")->text("integrity_check"), "ok");
        EXPECT_TRUE(memory.query("PRAGMA foreign_key_check").empty());
        EXPECT_NO_THROW(memory.run("INSERT INTO chunk_fts(chunk_fts, rank) VALUES ('integrity-check', 1)"))
            << "the full-text index agrees with the chunks";
        std::size_t stored = 0;
        bool gap = false;
        for (const auto& e : stream) {
            bool held = holds(memory, e);
            EXPECT_FALSE(held && gap) << "event " << e.id << " stored after one that was not";
            gap = gap || !held;
            stored += held ? 1 : 0;
        }
        EXPECT_GE(stored, replies.size()) << "an answered event was lost";
        EXPECT_LE(stored, replies.size() + 1) << "more than the event in progress was stored unanswered";
        killedInside += stored < stream.size() ? 1 : 0;
        committedUnanswered += stored == replies.size() + 1 ? 1 : 0;
        storedEvents += static_cast<int>(stored);
        all.insert(all.end(), stream.begin(), stream.end());
    }

    // Nothing but whole events, over all rounds: no session, source or event row that
    // no stored event accounts for.
    SQLiteDB memory(db);
    std::set<std::string> sessions;
    std::set<std::string> sources;
    std::set<std::string> events;
    for (const auto& e : all) {
        if (memory.one("SELECT 1 AS x FROM ingested_event WHERE event_id = ?", {Value(e.id)})) {
            events.insert(e.id);
            sources.insert(e.sourceKey);
            if (!e.session.empty()) {
                sessions.insert(e.session);
            }
        }
    }
    std::set<std::string> rowSessions;
    for (const auto& row : memory.query("SELECT id FROM session")) {
        rowSessions.insert(row.text("id"));
    }
    std::set<std::string> rowSources;
    for (const auto& row : memory.query("SELECT key FROM source")) {
        rowSources.insert(row.text("key"));
    }
    std::set<std::string> rowEvents;
    for (const auto& row : memory.query("SELECT event_id FROM ingested_event")) {
        rowEvents.insert(row.text("event_id"));
    }
    EXPECT_EQ(rowSessions, sessions);
    EXPECT_EQ(rowSources, sources);
    EXPECT_EQ(rowEvents, events);
    std::printf("%d kills: %d before the stream was done, %d between a commit and its answer; %d of %zu events "
                "stored\n",
                rounds, killedInside, committedUnanswered, storedEvents, all.size());
    EXPECT_GE(killedInside, rounds / 2) << "most kills should land before the stream was done";
    // The memory still opens the way every process opens it, migrations included.
    brell({"memory", "status", "--json"});
}

} // namespace
} // namespace brell
