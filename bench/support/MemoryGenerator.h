#pragma once
// MemoryGenerator: a large, realistic memory for the benchmarks, built deterministically
// and kept in a cache folder so that later runs (and other benchmarks) open the same
// file instead of building it again.
//
// The memory holds videos with transcript chunks of spoken words (90–170 words, cues of
// 6–14 words with character offsets and start times), a title chunk per source, a few
// comments, and articles with headed sections. Words come from a vocabulary ranked by
// frequency and are drawn with a Zipf law (a few words occur in nearly every chunk, most
// are rare), each source also leaning on its own handful of topic words. A few sources
// are muted; many videos carry a session with watched and played ranges, many articles
// the anchors of the sections seen.
//
// No English word list is installed on the build machines, so the vocabulary is made of
// pronounceable pseudo-words behind a dozen real function words; the same seed gives the
// same words, texts and file everywhere.
//
// Not thread-safe; one generator per thread. Failures to build the file throw
// SQLiteDB::DBError or FileError.
#include <cstdint>
#include <string>
#include <vector>

namespace brell::bench {

struct MemoryShape {
    int64_t sources = 5000;
    int64_t chunks = 200000; // title chunks, comments and article sections included
    double articleShare = 0.12;
    double mutedShare = 0.01;
    uint64_t seed = 20240611;

    // The two memories the benchmarks measure: the usual 200,000 chunks, and a million
    // chunks over five times the sources (the same words and the same mix).
    static MemoryShape usual() { return {}; }
    static MemoryShape large() {
        MemoryShape shape;
        shape.sources = 25000;
        shape.chunks = 1000000;
        return shape;
    }
};

class MemoryGenerator {
public:
    // Raise when the texts or rows generated change, so old cached files are not reused.
    static constexpr int version = 1;

    explicit MemoryGenerator(MemoryShape shape = {});

    const MemoryShape& shape() const { return shape_; }

    // Every word of the vocabulary, most frequent first.
    const std::vector<std::string>& vocabulary() const { return vocabulary_; }
    // The pseudo-words only (never stop words), most frequent first: the words to query.
    std::vector<std::string> contentWords() const;

    // The cached memory file for this shape, built first when it is missing (progress on
    // standard error). The folder is BRELL_BENCH_CACHE when set, else /tmp/brell-bench.
    std::string ensure() const;
    std::string cachedPath() const;

private:
    void build(const std::string& path) const;

    MemoryShape shape_;
    std::vector<std::string> vocabulary_;
    std::size_t functionWords_ = 0;
};

} // namespace brell::bench
