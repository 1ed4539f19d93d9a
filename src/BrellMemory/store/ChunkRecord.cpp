#include "BrellMemory/store/ChunkRecord.h"

#include "util/Json.h"
#include "util/Text.h"

namespace brell {

std::string ChunkRecord::kindLabel() const {
    if (kind == "transcript") {
        return "Transcript";
    }
    if (kind == "comment") {
        return "Comment";
    }
    if (kind == "article") {
        return "Article";
    }
    if (kind == "metadata") {
        return "Title";
    }
    std::string out;
    bool startOfWord = true;
    for (char c : kind) {
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (letter) {
            out += static_cast<char>(startOfWord ? std::toupper(c) : std::tolower(c));
        } else {
            out += c;
        }
        startOfWord = c == ' ';
    }
    return out;
}

std::string ChunkRecord::passage(std::optional<int64_t> at, std::size_t limit) const {
    std::string quote = text;
    if (kind == "transcript" && at && !cues.empty()) {
        std::optional<int64_t> offset;
        for (const auto& cue : cues) {
            if (cue.size() == 2 && cue[1] <= *at) {
                offset = cue[0];
            }
        }
        if (!offset && !cues.front().empty()) {
            offset = cues.front()[0];
        }
        auto bounds = Text::characterBoundaries(text);
        auto characters = static_cast<int64_t>(bounds.size() - 1);
        if (offset && *offset >= 1 && *offset < characters) {
            quote = (Text::isValidUTF8(text) ? text : Text::sanitizeUTF8(text))
                        .substr(bounds[static_cast<std::size_t>(*offset)]);
        }
    }
    quote = Text::trim(quote);
    if (Text::characterCount(quote) <= limit) {
        return quote;
    }
    std::string cut = Text::prefixCharacters(quote, limit);
    auto space = cut.rfind(' ');
    if (space != std::string::npos) {
        cut.resize(space);
    }
    return cut + "\u2026";
}

ChunkRecord ChunkRecord::saved(int64_t index, const std::string& key, const std::string& title,
                               const std::optional<std::string>& url, const std::string& text,
                               const std::string& lane, Date at) {
    ChunkRecord c;
    c.id = -index - 1'000'000;
    c.sourceID = c.id;
    c.sourceKey = "saved:" + key;
    c.sourceKind = "saved";
    c.sourceTitle = title;
    c.sourceURL = url.value_or("");
    c.kind = "saved";
    c.text = text;
    c.heading = lane;
    c.locator = "q=" + key;
    c.provenance = "saved";
    c.retrievedAt = at;
    return c;
}

ChunkRecord ChunkRecord::transcript(int64_t id, int64_t sourceID, const std::string& videoID, const std::string& title,
                                    const std::vector<std::pair<int64_t, std::string>>& lines, Date retrievedAt) {
    ChunkRecord c;
    c.id = id;
    c.sourceID = sourceID;
    c.sourceKey = "youtube:" + videoID;
    c.sourceKind = "youtube";
    c.sourceTitle = title;
    c.sourceURL = "https://www.youtube.com/watch?v=" + videoID;
    c.sourceOrigin = "https://www.youtube.com";
    c.kind = "transcript";
    for (const auto& [ms, line] : lines) {
        c.cues.push_back({static_cast<int64_t>(Text::characterCount(c.text)), ms});
        c.text += line + " ";
    }
    c.locator = "t=" + std::to_string(lines.empty() ? 0 : lines.front().first / 1000);
    if (!lines.empty()) {
        c.startMs = lines.front().first;
        c.endMs = lines.back().first + 8000;
    }
    c.provenance = "fixture";
    c.retrievedAt = retrievedAt;
    return c;
}

std::optional<std::string> ChunkRecord::savedKey() const {
    if (kind == "saved" && sourceKey.rfind("saved:", 0) == 0) {
        return sourceKey.substr(6);
    }
    return std::nullopt;
}

std::vector<std::vector<int64_t>> ChunkRecord::decodeCues(const std::optional<std::string>& json) {
    std::vector<std::vector<int64_t>> cues;
    if (!json) {
        return cues;
    }
    auto parsed = JsonText::parse(*json);
    if (!parsed || !parsed->is_array()) {
        return {};
    }
    for (const auto& entry : *parsed) {
        if (!entry.is_array()) {
            return {};
        }
        std::vector<int64_t> numbers;
        for (const auto& n : entry) {
            auto value = JsonText::integer(n);
            if (!value) {
                return {};
            }
            numbers.push_back(*value);
        }
        cues.push_back(std::move(numbers));
    }
    return cues;
}

} // namespace brell
