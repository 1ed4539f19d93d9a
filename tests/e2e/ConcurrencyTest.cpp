// One memory shared by everything at once, for a bounded time: several companion hosts
// (one per browser connection) ingesting video deltas, article deltas and captured
// transcripts, two of them racing each other with the very same events, while the
// brell tool switches consent back and forth from two processes and imports transcript
// files, the application raises the epoch many times a second on its own connection,
// and a reader reads the status and searches. Afterwards the memory must hold exactly
// the events that were answered "accepted", each once, and each stored under the
// consent and capture epoch that were in force when it was committed.
//
// The commit-time consent is caught by a trigger the test adds to its own database:
// every ingested_event row, inserted inside the transaction that stores its event
// (which holds the write lock), copies the consent row beside it. An event stored after
// the change that made it stale had committed would carry an older epoch than the one
// copied.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <poll.h>
#include <random>
#include <set>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/db/SQLiteDB.h"
#include "platform/Fd.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/ISODate.h"
#include "util/Json.h"

extern char** environ;

namespace brell {
namespace {

using Clock = std::chrono::steady_clock;

const std::string companionOrigin = "chrome-extension://kembcdlbgbcnnchcnbdhbmbhbejnedjf/";
const std::string articleOrigin = "https://news.example.com";
const std::vector<std::string> videoIDs = {"dQw4w9WgXcQ", "9bZkp7q19f0", "kJQP7kiw5Fk"};
constexpr auto trafficTime = std::chrono::seconds(11);
constexpr int replyTimeoutMs = 30000;

std::string watchURL(const std::string& id) {
    return "https://www.youtube.com/watch?v=" + id;
}

std::string uuid(unsigned group, unsigned long long n) {
    char text[37];
    std::snprintf(text, sizeof text, "%08x-0000-4000-8000-%012llx", group, n);
    return text;
}

double wallClock() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// One browser connection: a real brell-memory-host started with the companion's
// origin, spoken to one frame at a time. Its standard error goes to a file.
class HostConnection {
public:
    HostConnection(const std::map<std::string, std::string>& env, const std::string& errorFile)
        : child_(test::binary("brell-memory-host"), options(env, errorFile)) {}

    // Sends one message and waits for its reply; nothing when the host does not answer
    // with one whole frame in time, or ends.
    std::optional<Json> ask(const Json& message) {
        if (!child_.write(test::frame(message.dump()))) {
            return std::nullopt;
        }
        auto body = child_.readFrame(std::chrono::milliseconds(replyTimeoutMs));
        if (!body || child_.pendingOutput() > 0) {
            return std::nullopt; // no reply, or more than one
        }
        return JsonText::parse(*body);
    }

    // Closes the host's input as the browser does and returns its exit status (-1 when
    // it was killed by a signal).
    int finish() {
        child_.closeInput();
        return child_.wait().exitStatus;
    }

private:
    static test::ProcessOptions options(const std::map<std::string, std::string>& env, const std::string& errorFile) {
        test::ProcessOptions o;
        o.args = {companionOrigin};
        o.setEnv = env;
        o.errorFile = errorFile;
        return o;
    }

    test::Subprocess child_;
};

// One captured event as sent, and every answer it got (resends after "retry" included).
struct Event {
    std::string id;
    std::string kind;
    int64_t captureEpoch = 0;
    std::string session; // session deltas
    int64_t start = 0;   // a video delta adds the range [start, start + 1000]
    std::string anchor;  // an article delta adds this section
    int64_t wall = 0;
    std::vector<std::string> answers;
    std::vector<int64_t> answerEpochs;
};

// What every thread gathers; merged once all have stopped.
struct Findings {
    std::mutex lock;
    std::vector<Event> events;
    std::vector<std::string> problems;
    std::map<std::string, int> counts;

    void problem(const std::string& text) {
        std::lock_guard<std::mutex> guard(lock);
        if (problems.size() < 50) {
            problems.push_back(text);
        }
    }
    void count(const std::string& what, int n = 1) {
        std::lock_guard<std::mutex> guard(lock);
        counts[what] += n;
    }
    // Whether the traffic so far is the contest the test's checks need.
    bool contested() {
        std::lock_guard<std::mutex> guard(lock);
        int accepted = 0;
        for (const auto& [what, n] : counts) {
            if (what.size() > 9 && what.compare(what.size() - 9, 9, " accepted") == 0) {
                accepted += n;
            }
        }
        return accepted > 120 && counts["switch"] > 10 && counts["twin duplicate"] > 0 &&
               counts["video.session_delta stale_epoch"] + counts["twin stale_epoch"] > 0 && counts["import"] > 0 &&
               counts["read"] > 0;
    }
};

const std::set<std::string> ackStatuses = {"accepted", "duplicate", "stale_epoch", "disabled", "invalid", "retry"};

// The reply to an ingest must be a well-formed ack of this event. The events here are
// all well-formed, so "invalid" is never a right answer; "retry" is one only when the
// store was busy beyond its timeout.
std::optional<std::string> ackProblem(const Json& reply, const Event& event) {
    if (!reply.is_object() || JsonText::member(reply, "type") != "ack") {
        return "not an ack: " + reply.dump();
    }
    auto status = JsonText::string(JsonText::member(reply, "status"));
    if (!status || ackStatuses.count(*status) == 0) {
        return "an ack with an unknown status: " + reply.dump();
    }
    if (JsonText::member(reply, "eventId") != event.id ||
        !JsonText::member(reply, "captureEpoch").is_number_integer()) {
        return "an ack without its event id or epoch: " + reply.dump();
    }
    for (const auto& [key, value] : reply.items()) {
        if (key != "type" && key != "status" && key != "captureEpoch" && key != "eventId" && key != "reason") {
            return "an ack with a key of no ack: " + reply.dump();
        }
    }
    const Json& reason = JsonText::member(reply, "reason");
    if (*status == "invalid") {
        return "a well-formed event answered invalid: " + reply.dump();
    }
    if (*status == "retry" ? reason != "store_busy" : !reason.is_null()) {
        return "an ack with a reason of no such answer: " + reply.dump();
    }
    int64_t epoch = JsonText::member(reply, "captureEpoch").get<int64_t>();
    if (*status == "stale_epoch" && epoch <= event.captureEpoch) {
        return "stale_epoch answered while the sent epoch was still in force: " + reply.dump();
    }
    if (*status == "accepted" && epoch < event.captureEpoch) {
        return "accepted under an epoch that was never in force: " + reply.dump();
    }
    return std::nullopt;
}

std::optional<std::string> stateProblem(const Json& reply) {
    for (const char* key : {"enabled", "paused", "youtube"}) {
        if (!JsonText::member(reply, key).is_boolean()) {
            return "a state reply without " + std::string(key) + ": " + reply.dump();
        }
    }
    if (JsonText::member(reply, "type") != "state" || JsonText::member(reply, "version") != 1 ||
        !JsonText::member(reply, "captureEpoch").is_number_integer() ||
        !JsonText::member(reply, "origins").is_array()) {
        return "not a state reply: " + reply.dump();
    }
    return std::nullopt;
}

// Where the two racing connections meet before each event: the last to arrive decides
// whether time is up, so that both stop at the same event.
struct TwinMeeting {
    std::atomic<bool>* stop;
    std::function<bool()> running;
    void operator()() noexcept { stop->store(!running()); }
};

class ConcurrencyTest : public ::testing::Test {
protected:
    test::TempFolder tmp;
    std::string db = tmp.file("Memory.sqlite");
    Findings findings;
    Clock::time_point deadline;
    Clock::time_point hardCap;

    // The traffic runs for trafficTime, and on a slow or busy machine longer, until the
    // contest the checks need has happened or the hard cap passes: a test of
    // correctness must not fail for a machine's speed.
    bool running() {
        auto now = Clock::now();
        return now < deadline || (now < hardCap && !findings.contested());
    }

    std::map<std::string, std::string> env() {
        return {{"BRELL_MEMORY_DB", db}, {"BRELL_BOARD", tmp.file("board.json")}};
    }

    // Runs brell; a failure is a finding (every command here is valid when it runs).
    test::ProcessResult brell(const std::vector<std::string>& args) {
        auto r = test::brell(args, env());
        if (r.exitStatus != 0) {
            std::string line;
            for (const auto& a : args) {
                line += " " + a;
            }
            findings.problem("brell" + line + " exited " + std::to_string(r.exitStatus) + ": " + r.err);
        }
        return r;
    }

    // The companion of one connection. Keeps the state it was last told, as the
    // extension does, and asks again every few messages and after every refusal.
    // Sends video deltas (and, while it believes YouTube is on, captured transcripts)
    // and article deltas of its own sessions, and now and then asks "seen".
    void companion(unsigned number) {
        HostConnection host(env(), tmp.file("host-" + std::to_string(number) + ".err"));
        std::mt19937 random(number * 7919u + 17u);
        std::vector<Event> mine;
        int64_t epoch = 0;
        int64_t latest = 0; // the newest epoch any reply of this connection carried
        bool youtube = false;
        auto saw = [&](int64_t replyEpoch) {
            if (replyEpoch < latest) {
                findings.problem("host " + std::to_string(number) + " answered epoch " + std::to_string(replyEpoch) +
                                 " after " + std::to_string(latest));
            }
            latest = std::max(latest, replyEpoch);
        };
        auto refresh = [&] {
            auto reply = host.ask({{"version", 1}, {"type", "get_state"}, {"requestId", "s" + std::to_string(number)}});
            if (!reply) {
                findings.problem("host " + std::to_string(number) + " did not answer get_state");
                return false;
            }
            if (auto p = stateProblem(*reply)) {
                findings.problem(*p);
                return false;
            }
            epoch = (*reply)["captureEpoch"].get<int64_t>();
            youtube = (*reply)["youtube"].get<bool>();
            saw(epoch);
            return true;
        };
        if (!refresh()) {
            return;
        }
        unsigned long long sequence = 0;
        unsigned long long sessionNumber = 0;
        int inSession = 0;
        std::string videoSession;
        std::string articleSession = uuid(0x5e000000u + number, 0);
        int articleSections = 0;
        std::size_t video = number % videoIDs.size();

        for (int message = 0; running(); ++message) {
            if (inSession == 0) {
                videoSession = uuid(0x5e550000u + number, ++sessionNumber);
                video = (video + 1) % videoIDs.size();
            }
            Event event;
            event.id = uuid(0xe0000000u + number, ++sequence);
            event.captureEpoch = epoch;
            Json source;
            Json payload;
            int pick = std::uniform_int_distribution<int>(0, 11)(random);
            if (pick == 0) {
                auto reply = host.ask(
                    {{"version", 1}, {"type", "seen"}, {"url", watchURL(videoIDs[video])}, {"requestId", "seen"}});
                if (!reply || JsonText::member(*reply, "type") != "seen" ||
                    !JsonText::member(*reply, "known").is_boolean()) {
                    findings.problem("a seen question got " + (reply ? reply->dump() : std::string("no reply")));
                }
                continue;
            }
            if (pick <= 2) {
                event.kind = "article.session_delta";
                event.session = articleSession;
                event.anchor = "s" + std::to_string(++articleSections);
                event.wall = 30000 + articleSections;
                std::string url = articleOrigin + "/tides/" + std::to_string(number);
                source = {
                    {"id", "article:" + url}, {"url", url + "#top"}, {"title", "Tides " + std::to_string(number)}};
                payload = {{"sessionId", event.session},
                           {"activeWallMs", event.wall},
                           {"anchors", {{{"locator", event.anchor}, {"label", "Section " + event.anchor}}}},
                           {"extraction",
                            {{"blocks",
                              {{{"locator", "p1"}, {"text", "The tide turns twice a day, said " + event.id}},
                               {{"locator", "p2"}, {"text", "The moon pulls the sea."}}}}}}};
            } else if (pick == 3 && youtube) {
                event.kind = "video.transcript";
                source = {{"id", "youtube:" + videoIDs[video]}, {"url", watchURL(videoIDs[video])}, {"title", "Tides"}};
                Json cues = Json::array();
                for (int k = 0; k < 40; ++k) {
                    cues.push_back({k * 2500, "captured tide line " + std::to_string(k) + " of " + event.id});
                }
                payload = {{"cues", cues}, {"chapters", {{0, "Start"}}}};
            } else {
                event.kind = "video.session_delta";
                event.session = videoSession;
                event.start = int64_t{inSession} * 3000;
                event.wall = 20000 + inSession;
                source = {{"id", "youtube:" + videoIDs[video]}, {"url", watchURL(videoIDs[video])}, {"title", "Tides"}};
                payload = {{"sessionId", event.session},
                           {"activeWallMs", event.wall},
                           {"rangesMs", {{event.start, event.start + 1000}}},
                           {"playedWallMs", event.wall}};
                inSession = (inSession + 1) % 25;
            }
            Json request = {{"version", 1},
                            {"type", "ingest"},
                            {"eventId", event.id},
                            {"captureEpoch", epoch},
                            {"observedAt", ISODate::format(wallClock())},
                            {"kind", event.kind},
                            {"source", source},
                            {"payload", payload}};
            bool refused = false;
            for (int attempt = 0; attempt < 5; ++attempt) {
                auto reply = host.ask(request);
                if (!reply) {
                    findings.problem("host " + std::to_string(number) + " gave no reply to " + event.id);
                    mine.push_back(event);
                    std::lock_guard<std::mutex> guard(findings.lock);
                    findings.events.insert(findings.events.end(), mine.begin(), mine.end());
                    return;
                }
                if (auto p = ackProblem(*reply, event)) {
                    findings.problem(*p);
                }
                std::string status = JsonText::string(JsonText::member(*reply, "status")).value_or("?");
                event.answers.push_back(status);
                event.answerEpochs.push_back(JsonText::integer(JsonText::member(*reply, "captureEpoch")).value_or(0));
                saw(event.answerEpochs.back());
                findings.count(event.kind + " " + status);
                if (status != "retry") {
                    refused = status != "accepted";
                    break;
                }
            }
            mine.push_back(event);
            if ((refused || message % 8 == 0) && !refresh()) {
                break;
            }
        }
        int exit = host.finish();
        if (exit != 0) {
            findings.problem("host " + std::to_string(number) + " exited " + std::to_string(exit));
        }
        auto err = FileSystem::read(tmp.file("host-" + std::to_string(number) + ".err")).value_or("");
        if (!err.empty()) {
            findings.problem("host " + std::to_string(number) + " wrote to standard error: " + err);
        }
        std::lock_guard<std::mutex> guard(findings.lock);
        findings.events.insert(findings.events.end(), mine.begin(), mine.end());
    }

    // Two connections sending the very same video events at the same moment, as a
    // browser does when it reconnects and resends: at most one may store each event.
    void twins(std::barrier<TwinMeeting>& together, std::atomic<bool>& stop, unsigned number,
               std::vector<Event>& mine) {
        HostConnection host(env(), tmp.file("twin-" + std::to_string(number) + ".err"));
        int64_t epoch = 0;
        auto refresh = [&] {
            auto reply = host.ask({{"version", 1}, {"type", "hello"}});
            if (!reply || stateProblem(*reply)) {
                findings.problem("twin " + std::to_string(number) + " got no state");
                return;
            }
            epoch = (*reply)["captureEpoch"].get<int64_t>();
        };
        refresh();
        bool answering = true;
        for (unsigned long long n = 1;; ++n) {
            together.arrive_and_wait();
            if (stop.load()) {
                break;
            }
            if (!answering) {
                continue; // keep meeting the other twin at the barrier until both stop
            }
            Event event;
            event.id = uuid(0x7a1a0000u, n);
            event.kind = "video.session_delta";
            event.session = uuid(0x7a155000u, (n - 1) / 25);
            event.start = static_cast<int64_t>((n - 1) % 25) * 3000;
            event.wall = 20000 + static_cast<int64_t>((n - 1) % 25);
            event.captureEpoch = epoch;
            const std::string& video = videoIDs[((n - 1) / 25) % videoIDs.size()];
            Json request = {{"version", 1},
                            {"type", "ingest"},
                            {"eventId", event.id},
                            {"captureEpoch", epoch},
                            {"observedAt", ISODate::format(wallClock())},
                            {"kind", event.kind},
                            {"source", {{"id", "youtube:" + video}, {"url", watchURL(video)}}},
                            {"payload",
                             {{"sessionId", event.session},
                              {"activeWallMs", event.wall},
                              {"rangesMs", {{event.start, event.start + 1000}}}}}};
            for (int attempt = 0; attempt < 5; ++attempt) {
                auto reply = host.ask(request);
                if (!reply) {
                    findings.problem("twin " + std::to_string(number) + " gave no reply to " + event.id);
                    answering = false;
                    break;
                }
                if (auto p = ackProblem(*reply, event)) {
                    findings.problem(*p);
                }
                std::string status = JsonText::string(JsonText::member(*reply, "status")).value_or("?");
                event.answers.push_back(status);
                event.answerEpochs.push_back(JsonText::integer(JsonText::member(*reply, "captureEpoch")).value_or(0));
                findings.count("twin " + status);
                if (status != "retry") {
                    break;
                }
            }
            mine.push_back(event);
            if (event.answers.empty() || event.answers.back() != "accepted" || n % 8 == 0) {
                refresh();
            }
        }
        if (answering) {
            int exit = host.finish();
            if (exit != 0) {
                findings.problem("twin " + std::to_string(number) + " exited " + std::to_string(exit));
            }
        }
    }

    // The user at the capture switches: pause and resume, now and then memory off and
    // on, each change soon undone so that memory captures most of the time.
    void captureSwitches() {
        std::mt19937 random(4242);
        auto pause = [&](int most) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, most)(random)));
        };
        while (running()) {
            bool off = std::uniform_int_distribution<int>(0, 4)(random) == 0;
            brell({"memory", off ? "off" : "pause"});
            pause(100);
            brell({"memory", off ? "on" : "resume"});
            findings.count("switch", 2);
            pause(300);
        }
    }

    // The user at the source switches, at the same time from another process: YouTube
    // off and on, the article site revoked, or approved without its text, and approved
    // again.
    void sourceSwitches() {
        std::mt19937 random(2424);
        auto pause = [&](int most) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, most)(random)));
        };
        while (running()) {
            int pick = std::uniform_int_distribution<int>(0, 2)(random);
            if (pick == 0) {
                brell({"memory", "youtube", "off"});
                pause(100);
                brell({"memory", "youtube", "on"});
            } else {
                if (pick == 1) {
                    brell({"origins", "revoke", articleOrigin});
                } else {
                    brell({"origins", "approve", articleOrigin, "--no-text"});
                }
                pause(100);
                brell({"origins", "approve", articleOrigin});
            }
            findings.count("switch", 2);
            pause(300);
        }
    }

    // The application itself, on its own connection, approving and revoking a site that
    // none of the events concern, many times a second: each change raises the epoch
    // while capture stays on, so that events keep meeting an epoch that moved between
    // the host's first look and its transaction.
    void epochChurn() {
        std::mt19937 random(99);
        MemoryStore store(db);
        while (running()) {
            try {
                store.approveOrigin("https://elsewhere.example.org", true);
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(std::uniform_int_distribution<int>(5, 40)(random)));
                store.revokeOrigin("https://elsewhere.example.org", false);
            } catch (const std::exception& e) {
                findings.problem(std::string("the application could not change consent: ") + e.what());
            }
            findings.count("churn", 2);
            std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(5, 40)(random)));
        }
    }

    // The user importing transcript files of the same videos the companions report.
    void imports() {
        for (int n = 0; running(); ++n) {
            std::string file = tmp.file("import-" + std::to_string(n % 2) + ".vtt");
            std::string text = "WEBVTT\n\n";
            for (int k = 0; k < 60; ++k) {
                char timing[64];
                std::snprintf(timing, sizeof timing, "00:%02d.000 --> 00:%02d.500", k, k);
                text += std::string(timing) + "\nimported tide " + std::to_string(n) + " line " + std::to_string(k) +
                        "\n\n";
            }
            FileSystem::writeAtomically(file, text);
            brell({"import", "transcript", file, "--video", watchURL(videoIDs[static_cast<std::size_t>(n) % 3])});
            findings.count("import");
        }
    }

    // A reader: the status (whose epoch never goes back) and a search.
    void reads() {
        int64_t lastEpoch = 0;
        for (int n = 0; running(); ++n) {
            if (n % 2 == 0) {
                auto r = brell({"memory", "status", "--json"});
                auto status = JsonText::parse(r.out);
                if (r.exitStatus == 0 && (!status || !JsonText::member(*status, "epoch").is_number_integer())) {
                    findings.problem("brell memory status --json printed " + r.out);
                } else if (r.exitStatus == 0) {
                    int64_t epoch = (*status)["epoch"].get<int64_t>();
                    if (epoch < lastEpoch) {
                        findings.problem("the epoch went back from " + std::to_string(lastEpoch) + " to " +
                                         std::to_string(epoch));
                    }
                    lastEpoch = epoch;
                }
            } else {
                brell({"search", "tide"});
            }
            findings.count("read");
        }
    }
};

TEST_F(ConcurrencyTest, EveryAcceptedEventIsStoredOnceUnderTheConsentInForceAtItsCommit) {
    ::signal(SIGPIPE, SIG_IGN); // a host that ends early must fail the test, not kill it
    brell({"memory", "on"});
    brell({"memory", "youtube", "on"});
    brell({"origins", "approve", articleOrigin});
    ASSERT_TRUE(findings.problems.empty()) << findings.problems.front();
    {
        SQLiteDB memory(db);
        memory.exec("CREATE TABLE test_commit_stamp(event_id TEXT PRIMARY KEY, epoch INTEGER NOT NULL,\n"
                    "  enabled INTEGER NOT NULL, paused INTEGER NOT NULL, youtube INTEGER NOT NULL,\n"
                    "  origin_approved INTEGER NOT NULL);\n"
                    "CREATE TRIGGER test_commit_stamp_event AFTER INSERT ON ingested_event BEGIN\n"
                    "  INSERT INTO test_commit_stamp SELECT NEW.event_id, epoch, enabled, paused, youtube,\n"
                    "    EXISTS (SELECT 1 FROM allowed_origin WHERE origin = '" +
                    articleOrigin + "' AND muted = 0)\n  FROM consent WHERE id = 1;\nEND;");
    }

    deadline = Clock::now() + trafficTime;
    hardCap = Clock::now() + 10 * trafficTime;
    std::atomic<bool> twinStop{false};
    std::barrier<TwinMeeting> together(2, TwinMeeting{&twinStop, [this] { return running(); }});
    std::vector<Event> twinEvents[2];
    std::vector<std::thread> threads;
    for (unsigned n = 0; n < 3; ++n) {
        threads.emplace_back([this, n] { companion(n); });
    }
    for (unsigned n = 0; n < 2; ++n) {
        threads.emplace_back([&, n] { twins(together, twinStop, n, twinEvents[n]); });
    }
    threads.emplace_back([this] { captureSwitches(); });
    threads.emplace_back([this] { sourceSwitches(); });
    threads.emplace_back([this] { epochChurn(); });
    threads.emplace_back([this] { imports(); });
    threads.emplace_back([this] { reads(); });
    for (auto& t : threads) {
        t.join();
    }
    for (const auto& list : twinEvents) {
        findings.events.insert(findings.events.end(), list.begin(), list.end());
    }
    for (const auto& p : findings.problems) {
        ADD_FAILURE() << p;
    }

    // Every answer per event id, over all connections.
    std::map<std::string, std::vector<const Event*>> byID;
    for (const auto& e : findings.events) {
        byID[e.id].push_back(&e);
    }
    SQLiteDB memory(db);
    std::map<std::string, SQLiteDB::Row> stamps;
    for (auto& row : memory.query("SELECT * FROM test_commit_stamp")) {
        stamps.emplace(row.text("event_id"), row);
    }
    std::set<std::string> stored;
    for (const auto& row : memory.query("SELECT event_id FROM ingested_event")) {
        stored.insert(row.text("event_id"));
    }
    EXPECT_EQ(stamps.size(), stored.size()) << "every stored event went through the trigger once";

    int accepted = 0;
    std::map<std::string, std::set<int64_t>> expectedRanges;      // video session → range starts
    std::map<std::string, int64_t> expectedWall;                  // session → largest accepted total
    std::map<std::string, std::set<std::string>> expectedAnchors; // article session → sections
    for (const auto& [id, sends] : byID) {
        SCOPED_TRACE(id);
        const Event* acceptedBy = nullptr;
        int acceptances = 0;
        bool duplicate = false;
        for (const Event* e : sends) {
            for (const auto& a : e->answers) {
                acceptances += a == "accepted";
                duplicate = duplicate || a == "duplicate";
                if (a == "accepted") {
                    acceptedBy = e;
                }
            }
        }
        EXPECT_LE(acceptances, 1) << "an event is accepted at most once";
        EXPECT_EQ(stored.count(id), acceptances > 0 ? 1u : 0u)
            << "stored exactly when answered accepted (" << sends.front()->kind << ")";
        if (duplicate) {
            EXPECT_TRUE(acceptedBy != nullptr) << "duplicate only of an event that was accepted";
        }
        if (acceptedBy == nullptr) {
            continue;
        }
        ++accepted;
        auto stamp = stamps.find(id);
        if (stamp == stamps.end()) {
            ADD_FAILURE() << "no commit stamp";
            continue;
        }
        const SQLiteDB::Row& s = stamp->second;
        EXPECT_EQ(s.integer("epoch"), acceptedBy->captureEpoch)
            << "committed under epoch " << s.integer("epoch") << " although captured under "
            << acceptedBy->captureEpoch;
        EXPECT_TRUE(s.boolean("enabled") && !s.boolean("paused")) << "committed while memory was off or paused";
        if (acceptedBy->kind == "article.session_delta") {
            EXPECT_TRUE(s.boolean("origin_approved")) << "an article committed after its site was revoked";
            expectedAnchors[acceptedBy->session].insert(acceptedBy->anchor);
        } else {
            EXPECT_TRUE(s.boolean("youtube")) << "a video event committed while YouTube memory was off";
        }
        if (acceptedBy->kind == "video.session_delta") {
            expectedRanges[acceptedBy->session].insert(acceptedBy->start);
        }
        if (!acceptedBy->session.empty()) {
            expectedWall[acceptedBy->session] = std::max(expectedWall[acceptedBy->session], acceptedBy->wall);
        }
    }
    for (const auto& id : stored) {
        EXPECT_TRUE(byID.count(id) == 1) << "a stored event that nobody sent: " << id;
    }

    // The rows each accepted event added, and none of a refused one.
    std::map<std::string, std::set<int64_t>> ranges;
    for (const auto& row : memory.query("SELECT session_id, start_ms, end_ms FROM exposure WHERE kind = 'range'")) {
        EXPECT_EQ(row.integer("end_ms") - row.integer("start_ms"), 1000) << "ranges 2 s apart are never merged";
        ranges[row.text("session_id")].insert(row.integer("start_ms"));
    }
    EXPECT_EQ(ranges, expectedRanges) << "each session holds exactly the ranges of its accepted deltas";
    std::map<std::string, std::set<std::string>> anchors;
    for (const auto& row : memory.query("SELECT session_id, locator FROM exposure WHERE kind = 'anchor'")) {
        anchors[row.text("session_id")].insert(row.text("locator"));
    }
    EXPECT_EQ(anchors, expectedAnchors) << "each article session holds exactly the sections of its accepted deltas";
    std::map<std::string, int64_t> walls;
    for (const auto& row : memory.query("SELECT id, active_wall_ms FROM session")) {
        walls[row.text("id")] = row.integer("active_wall_ms");
    }
    EXPECT_EQ(walls, expectedWall) << "a session exists exactly when one of its deltas was accepted";

    EXPECT_EQ(memory.one("PRAGMA integrity_check")->text("integrity_check"), "ok");
    EXPECT_TRUE(memory.query("PRAGMA foreign_key_check").empty());

    // The run must have been a contest, not a quiet sequence.
    std::string summary;
    for (const auto& [what, n] : findings.counts) {
        summary += "  " + what + ": " + std::to_string(n) + "\n";
    }
    std::printf("%d events accepted of %zu sent\n%s", accepted, byID.size(), summary.c_str());
    EXPECT_GT(accepted, 100) << summary;
    EXPECT_GT(findings.counts["switch"], 10) << summary;
    EXPECT_GT(findings.counts["twin duplicate"], 0) << summary;
    EXPECT_GT(findings.counts["video.session_delta stale_epoch"] + findings.counts["twin stale_epoch"], 0) << summary;
    EXPECT_GT(findings.counts["import"], 0) << summary;
    EXPECT_GT(findings.counts["read"], 0) << summary;
}

} // namespace
} // namespace brell
