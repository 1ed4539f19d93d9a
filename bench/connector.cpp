// The assistant connector through the real `brell --mcp` process, over a 10,000-card
// board and the 200,000-chunk benchmark memory: p50 and p95 of ping, search_brell,
// get_brell_context and find_brell_moment, each next to its floor measured in the same
// run — reading and parsing board.json once (the board tools) plus the same memory
// search in-process (the memory tools). The connector re-reads the files for every
// call, so a board rewritten before each call costs the same; that case is measured
// too.
//
// Usage: bench_connector [--quick]   (--quick: fewer calls per row)
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "BrellCore/board/BoardFile.h"
#include "BrellCore/board/CardStore.h"
#include "BrellCore/connector/AssistantAccess.h"
#include "BrellMemory/db/MemoryStore.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "support/HostProcess.h"
#include "support/MemoryGenerator.h"
#include "support/Subprocess.h"
#include "util/Json.h"

namespace brell::bench {
namespace {

using Clock = std::chrono::steady_clock;

double millisecondsOf(const std::function<void()>& body) {
    auto start = Clock::now();
    body();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Nearest-rank percentile.
double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

// A board of `count` cards in all three lanes whose texts use the memory's own words,
// so that the board tools find something.
std::string boardText(const std::vector<std::string>& words, int count) {
    std::vector<Card> cards;
    uint64_t x = 7;
    auto next = [&] {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        return x >> 33;
    };
    auto word = [&] { return words[next() % std::min<std::size_t>(words.size(), 3000)]; };
    for (int i = 0; i < count; ++i) {
        std::string text;
        for (int w = 0; w < 14; ++w) {
            text += (w ? " " : "") + word();
        }
        std::string url = "https://site" + std::to_string(i % 97) + ".example/" + word();
        SourceRef source{word() + " " + word(), url, "Safari", std::nullopt, false};
        Date at = 1740819907.0 + i * 60.0;
        Lane lane = i % 3 == 0 ? Lane(Lane::links) : i % 3 == 1 ? Lane(Lane::notes) : Lane(Lane::evidence);
        Capture capture = lane == Lane::links ? Capture(UUID::random(), CaptureKind::url, std::nullopt,
                                                        url + "/" + word(), std::string(word()), source, at)
                                              : Capture(UUID::random(), CaptureKind::quote, text, std::nullopt,
                                                        std::nullopt, source, at);
        std::optional<Note> note;
        if (lane == Lane::notes) {
            note = Note{Note::Mode::manual, word() + " " + word() + " " + word(), std::nullopt, std::nullopt, at};
        }
        cards.emplace_back(std::move(capture), lane, note, UUID::random(), at, std::nullopt);
    }
    return BoardFile{1, cards}.text();
}

class Connector {
public:
    Connector(const std::string& board, const std::string& memory) : child_(binary("brell"), options(board, memory)) {}
    ~Connector() {
        child_.closeInput();
        child_.wait();
    }

    std::string roundTrip(const std::string& line) {
        if (!child_.write(line + "\n")) {
            throw std::runtime_error("brell --mcp stopped reading");
        }
        while (true) {
            std::size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string reply = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return reply;
            }
            if (!child_.readSome(buffer_, std::chrono::minutes(1))) {
                throw std::runtime_error("brell --mcp closed its output");
            }
        }
    }

private:
    static test::ProcessOptions options(const std::string& board, const std::string& memory) {
        test::ProcessOptions options;
        options.args = {"--mcp"};
        options.setEnv = {{"BRELL_BOARD", board}, {"BRELL_MEMORY_DB", memory}};
        return options;
    }

    test::Subprocess child_;
    std::string buffer_;
};

std::string toolCall(const std::string& name, const OrderedJson& arguments) {
    return OrderedJson{
        {"jsonrpc", "2.0"}, {"id", 1}, {"method", "tools/call"}, {"params", {{"name", name}, {"arguments", arguments}}}}
        .dump();
}

struct Row {
    std::string name;
    std::function<void()> tool;  // through the process
    std::function<void()> floor; // in-process
};

int run(bool quick) {
    MemoryGenerator generator;
    std::string memoryPath = generator.ensure();
    std::vector<std::string> words = generator.contentWords();
    // Rewritten by every run; the access log beside it starts afresh.
    std::string board = Environment::join(Environment::temporaryFolder(), "brell-bench/connector/board.json");
    FileSystem::remove(Environment::join(FileSystem::parentFolder(board), "assistant-access-log.jsonl"));
    std::string text = boardText(words, 10000);
    FileSystem::writeAtomically(board, text);
    AssistantAccess(true, {Lane::links, Lane::notes, Lane::evidence}, true, false, true, false)
        .save(AssistantAccess::fileURL(board));

    auto store = MemoryStore::openReadOnly(memoryPath);
    if (!store) {
        throw std::runtime_error("the benchmark memory could not be opened read-only: " + memoryPath);
    }
    Connector connector(board, memoryPath);
    std::printf("Board: %zu cards, %zu bytes; memory: %s\n\n", static_cast<std::size_t>(10000), text.size(),
                memoryPath.c_str());

    const std::string ping = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";
    const std::string searchWord = words[40];
    const std::string topic = words[120] + " " + words[400] + " " + words[900];
    const std::string question = words[300] + " " + words[1500];
    auto readBoard = [&] { (void)CardStore::readCards(board); };
    std::vector<Row> rows = {
        {"ping", [&] { connector.roundTrip(ping); }, [] {}},
        {"search_brell",
         [&] {
             connector.roundTrip(toolCall("search_brell", {{"query", searchWord}}));
         },
         readBoard},
        {"search_brell, board rewritten before each call",
         [&] {
             FileSystem::writeAtomically(board, text);
             connector.roundTrip(toolCall("search_brell", {{"query", searchWord}}));
         },
         [&] {
             FileSystem::writeAtomically(board, text);
             readBoard();
         }},
        {"get_brell_context",
         [&] {
             connector.roundTrip(toolCall("get_brell_context", {{"topic", topic}}));
         },
         [&] {
             readBoard();
             (void)store->contextPassages(topic, 8);
         }},
        {"find_brell_moment",
         [&] {
             connector.roundTrip(toolCall("find_brell_moment", {{"question", question}}));
         },
         [&] {
             readBoard();
             (void)store->momentPassages(question, 3);
         }},
    };

    int calls = quick ? 10 : 60;
    std::printf("%-48s %10s %10s | %10s %10s | %7s\n", "call", "p50 ms", "p95 ms", "floor p50", "floor p95",
                "p50/floor");
    std::printf("%s\n", std::string(104, '-').c_str());
    bool met = true;
    for (const Row& row : rows) {
        // Warm up both, then alternate them so that each meets the caches the other left.
        row.tool();
        row.floor();
        std::vector<double> tool;
        std::vector<double> floor;
        for (int i = 0; i < calls; ++i) {
            tool.push_back(millisecondsOf(row.tool));
            floor.push_back(millisecondsOf(row.floor));
        }
        double p50 = percentile(tool, 0.5);
        double floor50 = percentile(floor, 0.5);
        bool isPing = row.name == "ping";
        double ratio = isPing ? 0 : p50 / floor50;
        met = met && (isPing ? p50 < 0.2 : ratio <= 1.3);
        std::printf("%-48s %10.3f %10.3f | %10.3f %10.3f | %7s\n", row.name.c_str(), p50, percentile(tool, 0.95),
                    floor50, percentile(floor, 0.95), isPing ? "-" : std::to_string(ratio).substr(0, 4).c_str());
        std::fflush(stdout);
    }
    std::printf("\nThrough the process: one request line written, one reply line read. Floor: board.json read and "
                "parsed once in-process, plus the same memory search for the memory tools.\nGoal: every tool within "
                "1.3x its floor at p50, ping under 0.2 ms: %s\n",
                met ? "met" : "NOT met");
    return 0;
}

} // namespace
} // namespace brell::bench

int main(int argc, char** argv) {
    bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    try {
        return brell::bench::run(quick);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_connector: %s\n", e.what());
        return 1;
    }
}
