// Screen memory: readings handed to recordScreen per second, on a memory already
// holding 100,000 captures, next to a bare insert of the same rows (the limit). The
// stream is what a reader polling the front window produces: mostly the same text
// again, some small edits, now and then another window or a new tab.
#include <cstdio>
#include <filesystem>
#include <random>
#include <unistd.h>

#include "BrellMemory/db/MemoryStore.h"
#include "support/Stopwatch.h"
#include "util/Text.h"

using namespace brell;

namespace {

constexpr int storedCaptures = 100000;
constexpr int readings = 3000;
constexpr int perRound = 200;

std::string folder() {
    std::string path =
        std::filesystem::temp_directory_path().string() + "/brell-bench-screen-" + std::to_string(getpid());
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

// Prose-like text of `words` words drawn from a fixed vocabulary.
std::string prose(std::mt19937& random, int words) {
    static const char* const vocabulary[] = {
        "the",      "pricing", "tiers",    "enterprise", "plan",     "billed",  "yearly",   "discount", "teams",
        "invoice",  "meeting", "agenda",   "notes",      "design",   "review",  "deadline", "budget",   "report",
        "quarter",  "growth",  "customer", "support",    "ticket",   "release", "version",  "feature",  "roadmap",
        "research", "paper",   "results",  "method",     "analysis", "section", "figure",   "table",    "appendix",
        "and",      "with",    "from",     "for",        "about",    "into",    "over",     "under",    "between",
        "menu",     "file",    "edit",     "view",       "window",   "help",    "share",    "comment",  "reply",
    };
    std::uniform_int_distribution<std::size_t> pick(0, std::size(vocabulary) - 1);
    std::uniform_int_distribution<int> number(0, 9999);
    std::string out;
    for (int i = 0; i < words; ++i) {
        out += i % 17 == 16 ? std::to_string(number(random)) : vocabulary[pick(random)];
        out += i % 12 == 11 ? ".\n" : " ";
    }
    return out;
}

struct Reading {
    std::string bundle;
    std::string app;
    std::string title;
    std::optional<std::string> url;
    std::string text;
};

// Fills a new memory with `storedCaptures` older windows of 400 apps and titles.
void fill(const std::string& path) {
    MemoryStore store(path);
    std::mt19937 random(7);
    store.db.transaction([&] {
        for (int i = 0; i < storedCaptures; ++i) {
            std::string text = prose(random, 120);
            Date at = 1'700'000'000.0 + i * 30.0;
            store.db.run("INSERT INTO screen_capture(at, last_at, app_bundle, app_name, window_title, url, text, "
                         "text_hash) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                         at, at, "com.example.app" + std::to_string(i % 40), "App " + std::to_string(i % 40),
                         "Document " + std::to_string(i % 400), nullptr, text, MemoryStore::sha(text));
        }
    });
    store.setEnabled(true);
    store.setScreen(true);
    store.db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

// A polling reader over 8 windows: each reading is the front window again (70 %), the
// same window after a small edit (25 %) or a switch to another window, sometimes a new
// tab (5 %).
std::vector<Reading> stream() {
    std::mt19937 random(11);
    std::vector<Reading> windows;
    for (int w = 0; w < 8; ++w) {
        bool browser = w < 4;
        windows.push_back(
            {browser ? "com.apple.Safari" : "com.example.editor" + std::to_string(w), browser ? "Safari" : "Editor",
             "Window " + std::to_string(w),
             browser ? std::optional<std::string>("https://example.com/page/" + std::to_string(w)) : std::nullopt,
             prose(random, 500)});
    }
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<std::size_t> which(0, windows.size() - 1);
    std::vector<Reading> out;
    std::size_t front = 0;
    int tabs = 0;
    for (int i = 0; i < readings; ++i) {
        int roll = percent(random);
        if (roll >= 95) {
            front = which(random);
            if (percent(random) < 40) {
                windows[front].title = "New tab " + std::to_string(++tabs);
                windows[front].text = prose(random, 500);
            }
        } else if (roll >= 70) {
            std::string& text = windows[front].text;
            std::size_t at = std::uniform_int_distribution<std::size_t>(0, text.size() - 1)(random);
            text.insert(at, " typed" + std::to_string(i) + " ");
        }
        out.push_back(windows[front]);
    }
    return out;
}

} // namespace

int main() {
    std::string dir = folder();
    std::printf("Screen memory: readings of a polling reader on a memory of %d captures ", storedCaptures);
    bench::printLoad();
    fill(dir + "/record.sqlite");
    std::filesystem::copy_file(dir + "/record.sqlite", dir + "/insert.sqlite");
    std::vector<Reading> readingsList = stream();

    int extended = 0;
    int inserted = 0;
    MemoryStore recording(dir + "/record.sqlite");
    MemoryStore inserting(dir + "/insert.sqlite");
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& r : readingsList) {
        std::string text = Text::trim(r.text);
        rows.emplace_back(text, MemoryStore::sha(text));
    }
    // The same readings, in alternating rounds: recorded, and inserted bare.
    std::size_t recorded = 0;
    std::size_t insertedBare = 0;
    auto rates = bench::alternatingRates(
        readings / perRound, perRound,
        {[&] {
             const Reading& r = readingsList[recorded++];
             auto result = recording.recordScreen(r.bundle, r.app, r.title, r.url, r.text);
             extended += result.kind == MemoryStore::RecordResult::Kind::extended ? 1 : 0;
             inserted += result.kind == MemoryStore::RecordResult::Kind::inserted ? 1 : 0;
         },
         [&] {
             const Reading& r = readingsList[insertedBare];
             const auto& [text, hash] = rows[insertedBare++];
             Date now = inserting.now();
             inserting.db.run("INSERT INTO screen_capture(at, last_at, app_bundle, app_name, window_title, url, "
                              "text, text_hash) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                              now, now, r.bundle, r.app, r.title, r.url, text, hash);
         }});
    std::printf("%d readings: %d extended a record, %d inserted one\n", readings, extended, inserted);
    double ratio = rates[0] / rates[1];
    bench::printFigure("recordScreen (repeats, edits, new windows)", rates[0], "bare insert of the same rows", rates[1],
                       "readings/s", ratio, "ratio >= 0.8", ratio >= 0.8);
    std::filesystem::remove_all(dir);
    return 0;
}
