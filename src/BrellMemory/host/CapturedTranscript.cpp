#include "BrellMemory/host/CapturedTranscript.h"

#include <algorithm>

#include "BrellMemory/host/HostProtocol.h"
#include "BrellMemory/store/Transcript.h"
#include "util/Text.h"

namespace brell {
namespace {

constexpr int64_t dayMs = 86'400'000;
// A caption stays on screen this long when no later one ends it.
constexpr int64_t lastCueMs = 5000;

// A list of [start, title] pairs; entries of another shape are skipped, and a list
// holding anything but lists is no list at all.
std::vector<CapturedTranscript::Chapter> readChapters(const Json& value) {
    std::vector<CapturedTranscript::Chapter> chapters;
    if (!value.is_array() || !std::all_of(value.begin(), value.end(), [](const Json& c) { return c.is_array(); })) {
        return chapters;
    }
    for (const auto& entry : value) {
        if (entry.size() != 2) {
            continue;
        }
        auto start = JsonText::integer(entry[0]);
        auto title = HostProtocol::string(entry[1], 120);
        if (start && *start >= 0 && title) {
            chapters.push_back({*start, *title});
        }
    }
    return chapters;
}

} // namespace

std::optional<std::string> CapturedTranscript::chapterAt(int64_t startMs) const {
    for (auto it = chapters.rbegin(); it != chapters.rend(); ++it) {
        if (it->startMs <= startMs) {
            return it->title;
        }
    }
    return std::nullopt;
}

std::variant<CapturedTranscript, IngestRefusal> CapturedTranscript::parse(const Json& source, const Json& payload,
                                                                          int64_t maxCharacters) {
    auto id = HostProtocol::string(JsonText::member(source, "id"), 40);
    auto url = HostProtocol::string(JsonText::member(source, "url"), 500);
    auto videoID = url ? HostProtocol::youtubeID(*url) : std::nullopt;
    if (!id || id->rfind("youtube:", 0) != 0 || !videoID || "youtube:" + *videoID != *id) {
        return IngestRefusal::invalid("video_source");
    }
    const Json& sent = JsonText::member(payload, "cues");
    if (!sent.is_array() || sent.empty() || sent.size() > 6000 ||
        !std::all_of(sent.begin(), sent.end(), [](const Json& c) { return c.is_array(); })) {
        return IngestRefusal::invalid("cues");
    }
    CapturedTranscript transcript;
    int64_t characters = 0;
    for (const auto& entry : sent) {
        auto start = entry.size() == 2 ? JsonText::integer(entry[0]) : std::nullopt;
        auto text = entry.size() == 2 ? HostProtocol::string(entry[1], 2000) : std::nullopt;
        if (!start || *start < 0 || *start > dayMs || !text) {
            return IngestRefusal::invalid("cue");
        }
        std::vector<Cue>& cues = transcript.cues;
        if (!cues.empty() && *start < cues.back().startMs) {
            return IngestRefusal::invalid("cue_order");
        }
        characters += static_cast<int64_t>(Text::characterCount(*text));
        if (characters > maxCharacters) {
            return IngestRefusal::invalid("too_much_text");
        }
        if (!cues.empty()) {
            cues.back().endMs = std::max(cues.back().startMs + 1, *start);
        }
        cues.push_back(Cue{*start, *start + lastCueMs, Transcript::clean(*text)});
    }
    transcript.key = *id;
    transcript.videoID = *videoID;
    transcript.watchURL = "https://www.youtube.com/watch?v=" + *videoID;
    transcript.title = HostProtocol::cleanTitle(JsonText::member(source, "title")).value_or("YouTube video");
    transcript.chapters = readChapters(JsonText::member(payload, "chapters"));
    return transcript;
}

} // namespace brell
