// The companion host through the real executable, each figure next to its floor in the
// same run:
// - state requests (hello, get_state) next to the same handling in-process, with the
//   round trip of the pipes alone (through /bin/cat) for scale, once as the scheduler
//   places the processes and once with all of them on one CPU;
// - the time from starting the host to its first reply (the browser starts one host
//   per connection), next to starting /bin/cat and hearing back from it, with the
//   memory open in no other process and with the application holding it open;
// - video deltas carrying a few hundred played ranges, through the host next to
//   in-process;
// - the same deltas into copies of the 200,000- and the 1,000,000-chunk memories.
// Figures measured against each other run in alternating rounds (see Stopwatch.h).
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sched.h>
#include <unistd.h>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/host/HostProtocol.h"
#include "platform/SystemClock.h"
#include "support/HostProcess.h"
#include "support/MemoryGenerator.h"
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

// Deltas for one memory, sent in turn.
struct DeltaStream {
    int64_t epoch;
    int next = 0;
    std::string operator()() { return videoDelta(++next, epoch); }
};

const std::string hello = R"({"version":1,"type":"hello","requestId":"r"})";
const std::string getState = R"({"version":1,"type":"get_state"})";

// Runs on one CPU while alive, as do the processes started meanwhile (they inherit the
// mask); the whole machine again afterwards.
class OneCPU {
public:
    OneCPU() {
        sched_getaffinity(0, sizeof(all_), &all_);
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &all_)) {
                CPU_SET(cpu, &one);
                break;
            }
        }
        sched_setaffinity(0, sizeof(one), &one);
    }
    ~OneCPU() { sched_setaffinity(0, sizeof(all_), &all_); }
    OneCPU(const OneCPU&) = delete;
    OneCPU& operator=(const OneCPU&) = delete;

private:
    cpu_set_t all_{};
};

// With `sameCPU`, the host, /bin/cat and this process share one CPU, so a reply wakes
// its reader without a signal between CPUs: on a virtual machine that signal alone
// costs tens of microseconds, which /bin/cat's figure shows when it is paid.
void stateRequests(const std::string& dir, bool sameCPU) {
    std::optional<OneCPU> pinned;
    if (sameCPU) {
        pinned.emplace();
    }
    const std::string tag = sameCPU ? "-one-cpu" : "";
    prepare(dir + "/state-process" + tag + ".sqlite");
    prepare(dir + "/state-inprocess" + tag + ".sqlite");
    bench::HostProcess process(dir + "/state-process" + tag + ".sqlite");
    auto echo = bench::HostProcess::echo();
    MemoryStore store(dir + "/state-inprocess" + tag + ".sqlite");
    HostProtocol host(store, dir + "/board.json");
    int i = 0;
    auto rates = bench::alternatingRates(15, 200,
                                         {[&] { process.roundTrip(++i % 2 ? hello : getState); },
                                          [&] { host.handle(++i % 2 ? hello : getState); },
                                          [&] { echo->roundTrip(++i % 2 ? hello : getState); }});
    double ratio = rates[1] / rates[0];
    bench::printFigure(
        sameCPU ? "hello/get_state through the host, one CPU" : "hello/get_state through brell-memory-host",
        1e6 / rates[0], "in-process handle", 1e6 / rates[1], "us/msg", ratio, "ratio <= 1.5", ratio <= 1.5);
    std::printf("%-44s %10.1f %-10s   (the pipes and process switches alone)\n", "  same frames echoed by /bin/cat",
                1e6 / rates[2], "us/msg");
}

// Milliseconds from starting `start()` to its reply to `hello`; the process ends
// after the clock has stopped.
double firstReplyMs(const std::function<std::unique_ptr<bench::HostProcess>()>& start) {
    auto begin = std::chrono::steady_clock::now();
    auto process = start();
    process->roundTrip(hello);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
    process.reset();
    return ms;
}

void spawnToFirstReply(const std::string& dir, bool openElsewhere) {
    std::string path = dir + (openElsewhere ? "/spawn-shared.sqlite" : "/spawn-alone.sqlite");
    prepare(path);
    std::optional<MemoryStore> application;
    if (openElsewhere) {
        application.emplace(path);
        application->state();
    }
    std::vector<double> host;
    std::vector<double> cat;
    for (int n = 0; n < 15; ++n) {
        host.push_back(firstReplyMs([&] { return std::make_unique<bench::HostProcess>(path); }));
        cat.push_back(firstReplyMs([] { return bench::HostProcess::echo(); }));
    }
    double h = bench::median(host);
    double c = bench::median(cat);
    bench::printFigure(openElsewhere ? "start to first reply, memory open elsewhere" : "start to first reply, alone", h,
                       "/bin/cat started, frame echoed", c, "ms", h / c, "host <= 10 ms", h <= 10);
}

void deltasThroughHost(const std::string& dir) {
    DeltaStream a{prepare(dir + "/video-process.sqlite")};
    DeltaStream b{prepare(dir + "/video-inprocess.sqlite")};
    bench::HostProcess process(dir + "/video-process.sqlite");
    MemoryStore store(dir + "/video-inprocess.sqlite");
    HostProtocol host(store, dir + "/board.json");
    auto rates = bench::alternatingRates(15, 20, {[&] { process.roundTrip(a()); }, [&] { host.handle(b()); }});
    double ratio = rates[1] / rates[0];
    bench::printFigure("video deltas (300 ranges) through the host", rates[0], "in-process transaction", rates[1],
                       "msg/s", ratio, "ratio <= 1.5", ratio <= 1.5);
}

// The same deltas through the host into copies of the two benchmark memories.
void deltasIntoLargeMemory(const std::string& dir) {
    std::string small = dir + "/small.sqlite";
    std::string large = dir + "/large.sqlite";
    std::filesystem::copy_file(bench::MemoryGenerator(bench::MemoryShape::usual()).ensure(), small);
    std::filesystem::copy_file(bench::MemoryGenerator(bench::MemoryShape::large()).ensure(), large);
    DeltaStream a{prepare(small)};
    DeltaStream b{prepare(large)};
    bench::HostProcess smallHost(small);
    bench::HostProcess largeHost(large);
    // Each host reads the pages it needs once before anything is timed.
    smallHost.roundTrip(a());
    largeHost.roundTrip(b());
    auto rates =
        bench::alternatingRates(15, 20, {[&] { smallHost.roundTrip(a()); }, [&] { largeHost.roundTrip(b()); }});
    double ratio = rates[1] / rates[0];
    bench::printFigure("video deltas into the 1,000,000-chunk memory", rates[1], "into the 200,000-chunk memory",
                       rates[0], "msg/s", ratio, "ratio >= 0.8", ratio >= 0.8);
}

} // namespace

int main() {
    std::string dir = folder();
    std::printf("Companion host through the real executable; each figure next to its floor in the same run ");
    bench::printLoad();
    try {
        stateRequests(dir, false);
        stateRequests(dir, true);
        spawnToFirstReply(dir, false);
        spawnToFirstReply(dir, true);
        deltasThroughHost(dir);
        deltasIntoLargeMemory(dir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_host: %s\n", e.what());
        std::filesystem::remove_all(dir);
        return 1;
    }
    std::filesystem::remove_all(dir);
    return 0;
}
