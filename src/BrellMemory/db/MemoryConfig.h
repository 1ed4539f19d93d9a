#pragma once
// The memory's tunable limits. A plain value; MemoryConfig{} and MemoryConfig::defaults()
// give the same fixed defaults. "Ms" fields are integer milliseconds, time fields
// without it are seconds.
#include <cstdint>

namespace brell {

struct MemoryConfig {
    int64_t videoMinWallMs = 20000;
    int64_t articleMinWallMs = 30000;
    int64_t maxArticleChars = 20000;
    int64_t maxAnchors = 20;
    int64_t maxMessageBytes = 131072;
    int64_t maxTranscriptMessageBytes = 1048576;
    int64_t maxTranscriptChars = 400000;
    double eventDedupeTTL = 172800.0;
    double maxEventAge = 86400.0;
    int64_t defaultRetentionDays = 30;
    double connectionLostAfter = 180.0;
    int64_t rangeMergeGapMs = 1000;
    int64_t searchChunkLimit = 30;
    int64_t evidenceMaxExcerpts = 12;
    int64_t evidenceMaxSources = 6;
    int64_t excerptChars = 700;
    double autoThreshold = 0.85;
    double weightFit = 0.3;
    double weightEvidence = 0.25;
    double weightNovelty = 0.2;
    double weightActionability = 0.15;
    double weightTiming = 0.1;
    double projectCooldown = 1800.0;
    double modelTimeout = 12.0;
    int64_t modelDailyBudget = 10;
    double explicitStableDelay = 1.0;
    int64_t transcriptChunkMinMs = 20000;
    int64_t transcriptChunkMaxMs = 60000;

    static MemoryConfig defaults() { return MemoryConfig{}; }
    bool operator==(const MemoryConfig&) const = default;
};

} // namespace brell
