// The companion host's throughput through the real executable, next to the same work
// done in-process (the limit): state requests, and video deltas carrying a few hundred
// played ranges each.
#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/host/HostProtocol.h"
#include "platform/SystemClock.h"
#include "support/HostProcess.h"
#include "support/Stopwatch.h"
#include "util/ISODate.h"

using namespace brell;

namespace {

std::string folder() {
    std::string path =
        std::filesystem::temp_directory_path().string() + "/brell-bench-host-" + std::to_string(getpid());
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

std::string eventID(int n) {
    char id[37];
    std::snprintf(id, sizeof id, "00000000-0000-4000-8000-%012d", n);
    return id;
}

// A delta of one long viewing session with much seeking: the companion resends the
// session's played ranges, 300 of them 2.5 s apart (so they stay separate rows), the
// last one growing with each delta.
std::string videoDelta(int n, int64_t epoch) {
    Json ranges = Json::array();
    for (int i = 0; i < 300; ++i) {
        int64_t start = static_cast<int64_t>(i) * 4000;
        ranges.push_back({start, start + 1500 + (i == 299 ? n : 0)});
    }
    Json m = {
        {"version", 1},
        {"type", "ingest"},
        {"eventId", eventID(n)},
        {"captureEpoch", epoch},
        {"observedAt", ISODate::format(systemNow())},
        {"kind", "video.session_delta"},
        {"source",
         {{"id", "youtube:dQw4w9WgXcQ"},
          {"url", "https://www.youtube.com/watch?v=dQw4w9WgXcQ"},
          {"title", "A long lecture"}}},
        {"payload",
         {{"sessionId", "7c9e6679-7425-40de-944b-e07fc1f90ae7"}, {"activeWallMs", 30000 + n}, {"rangesMs", ranges}}}};
    return m.dump();
}

int64_t prepare(const std::string& path) {
    MemoryStore store(path);
    store.decide(true, true);
    return store.state().epoch;
}

} // namespace

int main() {
    std::string dir = folder();
    const std::string hello = R"({"version":1,"type":"hello","requestId":"r"})";
    const std::string getState = R"({"version":1,"type":"get_state"})";

    std::printf("Companion host: requests through the real executable vs the same handling in-process\n");
    {
        prepare(dir + "/state-process.sqlite");
        prepare(dir + "/state-inprocess.sqlite");
        bench::HostProcess process(dir + "/state-process.sqlite");
        MemoryStore store(dir + "/state-inprocess.sqlite");
        HostProtocol host(store, dir + "/board.json");
        int i = 0;
        double viaProcess = bench::ratePerSecond(4000, [&] { process.roundTrip(++i % 2 ? hello : getState); });
        double inProcess = bench::ratePerSecond(4000, [&] { host.handle(++i % 2 ? hello : getState); });
        bench::printComparison("hello/get_state through brell-memory-host", viaProcess, "in-process handle", inProcess,
                               "msg/s");
    }
    {
        int64_t epochA = prepare(dir + "/video-process.sqlite");
        int64_t epochB = prepare(dir + "/video-inprocess.sqlite");
        bench::HostProcess process(dir + "/video-process.sqlite");
        MemoryStore store(dir + "/video-inprocess.sqlite");
        HostProtocol host(store, dir + "/board.json");
        const int count = 300;
        std::vector<std::string> a;
        std::vector<std::string> b;
        for (int n = 1; n <= count; ++n) {
            a.push_back(videoDelta(n, epochA));
            b.push_back(videoDelta(n, epochB));
        }
        int i = 0;
        double viaProcess = bench::ratePerSecond(count, [&] { process.roundTrip(a[static_cast<std::size_t>(i++)]); });
        i = 0;
        double inProcess = bench::ratePerSecond(count, [&] { host.handle(b[static_cast<std::size_t>(i++)]); });
        bench::printComparison("video deltas (300 ranges) through the host", viaProcess, "in-process transaction",
                               inProcess, "msg/s");
    }
    std::filesystem::remove_all(dir);
    return 0;
}
