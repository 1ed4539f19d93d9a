#include "support/MemoryGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#include <sqlite3.h>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/recall/QueryTerms.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"

namespace brell::bench {
namespace {

using Value = SQLiteDB::Value;

// SplitMix64: small, fast and the same on every platform (unlike the standard
// distributions, whose output the library may choose).
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}

    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    int64_t between(int64_t low, int64_t high) { // inclusive
        return low + static_cast<int64_t>(next() % static_cast<uint64_t>(high - low + 1));
    }
    bool chance(double p) { return unit() < p; }

private:
    uint64_t state_;
};

const std::vector<std::string> functionWords = {"the",  "and", "to", "of",  "a",  "in",
                                                "that", "it",  "is", "you", "so", "we"};

constexpr std::size_t pseudoWordCount = 60000;

std::vector<std::string> pseudoWords(uint64_t seed) {
    static const std::vector<std::string> onsets = {
        "b",  "c",  "d",  "f",  "g",  "h",  "j",  "k",  "l",  "m",  "n",  "p",  "r",  "s",  "t",  "v", "w", "z",
        "br", "cl", "dr", "fl", "gr", "pl", "pr", "sh", "st", "th", "tr", "ch", "sk", "sl", "sp", "",  "",  ""};
    static const std::vector<std::string> vowels = {"a", "e", "i", "o", "u", "ai", "ea", "ee", "oo", "ou", "io"};
    static const std::vector<std::string> codas = {"",  "",  "",   "",   "n",  "r",  "s",  "t",
                                                   "l", "m", "nd", "st", "ck", "rn", "sh", "x"};
    Random random(seed ^ 0x5EED);
    std::unordered_set<std::string> taken(functionWords.begin(), functionWords.end());
    struct Candidate {
        std::string word;
        double order;
    };
    std::vector<Candidate> candidates;
    while (candidates.size() < pseudoWordCount) {
        double r = random.unit();
        int syllables = r < 0.10 ? 1 : r < 0.55 ? 2 : r < 0.90 ? 3 : 4;
        std::string word;
        for (int s = 0; s < syllables; ++s) {
            word += onsets[random.next() % onsets.size()];
            word += vowels[random.next() % vowels.size()];
            if (s == syllables - 1 || random.chance(0.3)) {
                word += codas[random.next() % codas.size()];
            }
        }
        auto terms = QueryTerms::terms(word).original;
        bool usable = word.size() >= 3 && terms.size() == 1 && terms[0] == word && QueryTerms::synonyms(word).empty();
        if (usable && taken.insert(word).second) {
            // Shorter words tend to be the frequent ones.
            candidates.push_back({word, static_cast<double>(word.size()) + 4 * random.unit()});
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.order < b.order; });
    std::vector<std::string> words;
    for (auto& c : candidates) {
        words.push_back(std::move(c.word));
    }
    return words;
}

// Zipf–Mandelbrot: the word of rank r is drawn with weight 1 / (r + 2.7).
class ZipfSampler {
public:
    explicit ZipfSampler(std::size_t size) : cumulative_(size) {
        double sum = 0;
        for (std::size_t r = 0; r < size; ++r) {
            sum += 1.0 / (static_cast<double>(r) + 2.7);
            cumulative_[r] = sum;
        }
    }
    std::size_t draw(Random& random) const {
        double x = random.unit() * cumulative_.back();
        auto it = std::upper_bound(cumulative_.begin(), cumulative_.end(), x);
        return std::min(static_cast<std::size_t>(it - cumulative_.begin()), cumulative_.size() - 1);
    }

private:
    std::vector<double> cumulative_;
};

// The words one source is about, drawn from the middle of the vocabulary.
constexpr std::size_t topicCount = 12;
constexpr double topicShare = 0.06;

struct Speaker {
    const std::vector<std::string>& vocabulary;
    const ZipfSampler& zipf;
    Random& random;
    std::vector<std::size_t> topics;

    const std::string& word() {
        if (!topics.empty() && random.chance(topicShare)) {
            return vocabulary[topics[random.next() % topics.size()]];
        }
        return vocabulary[zipf.draw(random)];
    }

    std::string words(int64_t n, bool titleCase = false) {
        std::string out;
        for (int64_t i = 0; i < n; ++i) {
            std::string w = word();
            if (titleCase && !w.empty()) {
                w[0] = static_cast<char>(w[0] - 'a' + 'A');
            }
            out += (i == 0 ? "" : " ") + w;
        }
        return out;
    }

    std::string sentences(int64_t wordCount) {
        std::string out;
        while (wordCount > 0) {
            int64_t n = std::min<int64_t>(wordCount, random.between(8, 20));
            std::string s = words(n);
            s[0] = static_cast<char>(s[0] - 'a' + 'A');
            out += (out.empty() ? "" : " ") + s + (random.chance(0.1) ? "?" : ".");
            wordCount -= n;
        }
        return out;
    }
};

std::string videoID(int64_t index) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    uint64_t x = static_cast<uint64_t>(index) * 0x9E3779B97F4A7C15ull + 12345;
    std::string id;
    for (int i = 0; i < 11; ++i) {
        id += alphabet[x % 64];
        x = x / 64 + static_cast<uint64_t>(index) * 31 + static_cast<uint64_t>(i);
    }
    return id;
}

// The generator's own connection: each statement prepared once and reused for every
// row, which takes the build of a million chunks from hours to minutes. The store made
// the schema; this only fills it.
class BulkWriter {
public:
    explicit BulkWriter(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            fail();
        }
        exec("PRAGMA foreign_keys = ON");
        exec("PRAGMA synchronous = OFF");
        exec("PRAGMA cache_size = -262144"); // 256 MB: the B-trees being filled stay in memory
    }
    ~BulkWriter() {
        for (auto& [sql, statement] : statements_) {
            sqlite3_finalize(statement);
        }
        sqlite3_close_v2(db_);
    }
    BulkWriter(const BulkWriter&) = delete;
    BulkWriter& operator=(const BulkWriter&) = delete;

    void exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            fail();
        }
    }

    void run(const char* sql, const std::vector<Value>& params) {
        sqlite3_stmt*& statement = statements_[sql];
        if (statement == nullptr && sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK) {
            fail();
        }
        for (std::size_t i = 0; i < params.size(); ++i) {
            const Value& p = params[i];
            int at = static_cast<int>(i + 1);
            int rc = p.isInteger() ? sqlite3_bind_int64(statement, at, *p.integer())
                     : p.isReal()  ? sqlite3_bind_double(statement, at, *p.real())
                     : p.isText()  ? bindText(statement, at, *p.text())
                                   : sqlite3_bind_null(statement, at);
            if (rc != SQLITE_OK) {
                fail();
            }
        }
        int rc = sqlite3_step(statement);
        sqlite3_reset(statement);
        if (rc != SQLITE_DONE) {
            fail();
        }
    }

    int64_t lastInsertID() const { return sqlite3_last_insert_rowid(db_); }

private:
    static int bindText(sqlite3_stmt* statement, int at, const std::string& text) {
        return sqlite3_bind_text64(statement, at, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    [[noreturn]] void fail() const { throw SQLiteDB::DBError(sqlite3_errcode(db_), sqlite3_errmsg(db_)); }

    sqlite3* db_ = nullptr;
    std::unordered_map<const char*, sqlite3_stmt*> statements_;
};

std::string cacheFolder() {
    if (auto folder = Environment::nonEmptyValue("BRELL_BENCH_CACHE")) {
        return *folder;
    }
    return "/tmp/brell-bench";
}

} // namespace

MemoryGenerator::MemoryGenerator(MemoryShape shape) : shape_(shape) {
    vocabulary_ = functionWords;
    functionWords_ = functionWords.size();
    for (auto& word : pseudoWords(shape_.seed)) {
        vocabulary_.push_back(std::move(word));
    }
}

std::vector<std::string> MemoryGenerator::contentWords() const {
    return {vocabulary_.begin() + static_cast<std::ptrdiff_t>(functionWords_), vocabulary_.end()};
}

std::string MemoryGenerator::cachedPath() const {
    char name[160];
    std::snprintf(name, sizeof name, "memory-v%d-%lldx%lld-%llu.sqlite", version,
                  static_cast<long long>(shape_.sources), static_cast<long long>(shape_.chunks),
                  static_cast<unsigned long long>(shape_.seed));
    return cacheFolder() + "/" + name;
}

std::string MemoryGenerator::ensure() const {
    std::string path = cachedPath();
    if (FileSystem::exists(path)) {
        return path;
    }
    FileSystem::makeFolders(cacheFolder());
    // Built under a private name and moved into place whole, so an interrupted build
    // is never taken for a finished one.
    std::string partial = path + ".partial-" + std::to_string(::getpid());
    build(partial);
    FileSystem::remove(partial + "-wal");
    FileSystem::remove(partial + "-shm");
    FileSystem::move(partial, path);
    return path;
}

void MemoryGenerator::build(const std::string& path) const {
    std::fprintf(stderr, "Building the benchmark memory %s (once; later runs reuse it)...\n", path.c_str());
    Random random(shape_.seed);
    ZipfSampler zipf(vocabulary_.size());
    {
        MemoryStore schema(path); // the schema exactly as a store makes it
    }
    BulkWriter writer(path);

    struct Plan {
        bool article = false;
        bool muted = false;
        int64_t comments = 0;
        int64_t sections = 0;
        int64_t transcripts = 0;
    };
    std::vector<Plan> plans(static_cast<std::size_t>(shape_.sources));
    int64_t fixed = 0;
    std::vector<double> weights;
    for (auto& plan : plans) {
        plan.article = random.chance(shape_.articleShare);
        plan.muted = random.chance(shape_.mutedShare);
        if (plan.article) {
            plan.sections = random.between(6, 24);
        } else {
            plan.comments = random.between(0, 4);
        }
        fixed += 1 + plan.comments + plan.sections;
        weights.push_back(plan.article ? 0 : 0.3 + 1.4 * random.unit());
    }
    // Transcript chunks fill the rest, shared among the videos by weight.
    int64_t remaining = std::max<int64_t>(0, shape_.chunks - fixed);
    double total = 0;
    for (double w : weights) {
        total += w;
    }
    int64_t given = 0;
    std::size_t lastVideo = 0;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        if (!plans[i].article) {
            plans[i].transcripts = static_cast<int64_t>(std::floor(remaining * weights[i] / total));
            given += plans[i].transcripts;
            lastVideo = i;
        }
    }
    plans[lastVideo].transcripts += remaining - given;

    const double firstSeen = 1.70e9;
    int64_t written = 0;
    auto chunk = [&](int64_t sourceID, const char* kind, const std::string& text,
                     const std::optional<std::string>& heading, const std::string& locator,
                     std::optional<int64_t> start, std::optional<int64_t> end, const std::optional<std::string>& cues,
                     const char* provenance) {
        writer.run("INSERT INTO chunk(source_id, kind, text, heading, locator, start_ms, end_ms, cues, retrieved_at, "
                   "content_hash, provenance) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                   {Value(sourceID), Value(kind), Value(text), Value(heading), Value(locator), Value(start), Value(end),
                    Value(cues), Value(firstSeen), Value(MemoryStore::sha(text)), Value(provenance)});
        if (++written % 20000 == 0) {
            std::fprintf(stderr, "  %lld of %lld chunks\n", static_cast<long long>(written),
                         static_cast<long long>(shape_.chunks));
        }
    };

    writer.exec("BEGIN IMMEDIATE");
    {
        for (std::size_t i = 0; i < plans.size(); ++i) {
            const Plan& plan = plans[i];
            auto index = static_cast<int64_t>(i);
            Speaker speaker{vocabulary_, zipf, random, {}};
            for (std::size_t t = 0; t < topicCount; ++t) {
                speaker.topics.push_back(functionWords_ + static_cast<std::size_t>(random.between(100, 8000)));
            }
            double seen = firstSeen + static_cast<double>(index) * 600;
            std::string title = speaker.words(random.between(3, 8), true);
            std::string key;
            std::string url;
            std::string origin;
            if (plan.article) {
                std::string host = "site" + std::to_string(index % 400) + ".example.com";
                origin = "https://" + host;
                url = origin + "/posts/" + std::to_string(index);
                key = "article:" + url;
            } else {
                std::string id = videoID(index);
                origin = "https://www.youtube.com";
                url = "https://www.youtube.com/watch?v=" + id;
                key = "youtube:" + id;
            }
            writer.run("INSERT INTO source(key, kind, url, title, origin, first_seen, last_seen, muted, "
                       "transcript_status, comments_status) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                       {Value(key), Value(plan.article ? "article" : "video"), Value(url), Value(title), Value(origin),
                        Value(seen), Value(seen + 3600), Value(plan.muted), Value(plan.article ? "none" : "imported"),
                        Value(plan.comments > 0 ? "fetched" : "none")});
            int64_t sourceID = writer.lastInsertID();
            chunk(sourceID, "metadata", title, std::nullopt, "title", std::nullopt, std::nullopt, std::nullopt,
                  "captured");

            if (plan.article) {
                std::vector<std::string> locators;
                for (int64_t s = 0; s < plan.sections; ++s) {
                    std::string locator = "p" + std::to_string(s);
                    locators.push_back(locator);
                    chunk(sourceID, "article", speaker.sentences(random.between(60, 250)),
                          speaker.words(random.between(2, 5), true), locator, std::nullopt, std::nullopt, std::nullopt,
                          "captured");
                }
                if (random.chance(0.5)) {
                    std::string session = "a" + std::to_string(sourceID);
                    writer.run("INSERT INTO session(id, source_id, active_wall_ms, played_wall_ms, started_at, "
                               "last_seen) VALUES (?, ?, ?, 0, ?, ?)",
                               {Value(session), Value(sourceID), Value(random.between(30000, 900000)), Value(seen),
                                Value(seen + 900)});
                    for (const auto& locator : locators) {
                        if (random.chance(0.4)) {
                            writer.run(
                                "INSERT INTO exposure(session_id, kind, locator, label) VALUES (?, 'anchor', ?, ?)",
                                {Value(session), Value(locator), Value("Section " + locator)});
                        }
                    }
                }
                continue;
            }

            int64_t clock = 0;
            for (int64_t t = 0; t < plan.transcripts; ++t) {
                int64_t words = random.between(90, 170);
                std::string text;
                std::string cues = "[";
                int64_t start = clock;
                int64_t offset = 0;
                while (words > 0) {
                    int64_t n = std::min<int64_t>(words, random.between(6, 14));
                    std::string cue = speaker.words(n);
                    if (!text.empty()) {
                        text += ' ';
                        ++offset;
                    }
                    cues += (cues.size() > 1 ? ",[" : "[") + std::to_string(offset) + "," + std::to_string(clock) + "]";
                    text += cue;
                    offset += static_cast<int64_t>(cue.size());
                    clock += n * random.between(330, 450);
                    words -= n;
                }
                cues += "]";
                chunk(sourceID, "transcript", text, std::nullopt, "t=" + std::to_string(start / 1000), start, clock,
                      cues, "imported");
            }
            for (int64_t c = 0; c < plan.comments; ++c) {
                chunk(sourceID, "comment", speaker.words(random.between(8, 40)), std::nullopt,
                      "c:" + std::to_string(sourceID) + "x" + std::to_string(c), std::nullopt, std::nullopt,
                      std::nullopt, "api");
            }
            if (clock > 0 && random.chance(0.6)) {
                std::string session = "v" + std::to_string(sourceID);
                writer.run("INSERT INTO session(id, source_id, active_wall_ms, played_wall_ms, started_at, "
                           "last_seen) VALUES (?, ?, ?, ?, ?, ?)",
                           {Value(session), Value(sourceID), Value(clock / 2), Value(clock * 2 / 3), Value(seen),
                            Value(seen + static_cast<double>(clock) / 1000)});
                for (int r = 0; r < 3; ++r) {
                    int64_t a = random.between(0, clock - 1);
                    int64_t b = std::min(clock, a + random.between(20000, 600000));
                    writer.run("INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES (?, 'played', ?, ?)",
                               {Value(session), Value(a), Value(b)});
                    if (random.chance(0.7)) {
                        writer.run("INSERT INTO exposure(session_id, kind, start_ms, end_ms) VALUES (?, 'range', ?, ?)",
                                   {Value(session), Value(a), Value(a + (b - a) / 2)});
                    }
                }
            }
        }
    }
    writer.exec("COMMIT");
    writer.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    std::fprintf(stderr, "  done: %lld chunks\n", static_cast<long long>(written));
}

} // namespace brell::bench
