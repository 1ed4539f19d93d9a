#include "BrellMemory/store/ChunkRecord.h"

#include <charconv>
#include <string_view>

#include "BrellMemory/visual/VisualSession.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

// The cue list in the compact form the store writes ("[[0,61000],[42,64500]]": arrays
// of integers without spaces or leading zeros), or nothing for any other text. The
// general JSON reader took most of the time of reading a chunk row; it now reads only
// the other forms, with the same result.
std::optional<std::vector<std::vector<int64_t>>> compactCues(std::string_view json) {
    std::size_t i = 0;
    auto at = [&](char c) { return i < json.size() && json[i] == c; };
    auto number = [&]() -> std::optional<int64_t> {
        std::size_t start = i;
        if (at('-')) {
            ++i;
        }
        std::size_t digits = i;
        while (i < json.size() && json[i] >= '0' && json[i] <= '9') {
            ++i;
        }
        if (i == digits || (json[digits] == '0' && i - digits > 1)) {
            return std::nullopt;
        }
        int64_t value = 0;
        auto [end, error] = std::from_chars(json.data() + start, json.data() + i, value);
        if (error != std::errc() || end != json.data() + i) {
            return std::nullopt;
        }
        return value;
    };
    std::vector<std::vector<int64_t>> cues;
    if (!at('[')) {
        return std::nullopt;
    }
    ++i;
    if (at(']')) {
        ++i;
        return i == json.size() ? std::optional(cues) : std::nullopt;
    }
    while (true) {
        if (!at('[')) {
            return std::nullopt;
        }
        ++i;
        std::vector<int64_t> entry;
        if (at(']')) {
            ++i;
        } else {
            while (true) {
                auto value = number();
                if (!value) {
                    return std::nullopt;
                }
                entry.push_back(*value);
                if (at(',')) {
                    ++i;
                    continue;
                }
                if (!at(']')) {
                    return std::nullopt;
                }
                ++i;
                break;
            }
        }
        cues.push_back(std::move(entry));
        if (at(',')) {
            ++i;
            continue;
        }
        if (!at(']')) {
            return std::nullopt;
        }
        ++i;
        break;
    }
    return i == json.size() ? std::optional(std::move(cues)) : std::nullopt;
}

} // namespace

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
                               const std::optional<std::string>& url, const std::string& text, const std::string& lane,
                               Date at) {
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

ChunkRecord ChunkRecord::visual(const VisualSession& session) {
    ChunkRecord c;
    c.id = -session.id - 2'000'000;
    c.sourceID = c.id;
    c.sourceKey = "visual:" + std::to_string(session.id);
    c.sourceKind = "visual";
    c.sourceTitle = session.label();
    c.sourceURL = session.url.value_or("");
    c.kind = "visual";
    for (const auto* part : {&session.note, &session.text}) {
        if (!part->empty()) {
            c.text += (c.text.empty() ? "" : "\n") + *part;
        }
    }
    c.locator = "v=" + std::to_string(session.id);
    c.provenance = "captured";
    c.retrievedAt = session.startedAt;
    return c;
}

std::optional<int64_t> ChunkRecord::visualSessionID() const {
    static constexpr std::string_view prefix = "visual:";
    if (kind != "visual" || sourceKey.rfind(prefix, 0) != 0) {
        return std::nullopt;
    }
    std::string_view digits = std::string_view(sourceKey).substr(prefix.size());
    int64_t id = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return id;
}

std::vector<std::vector<int64_t>> ChunkRecord::decodeCues(const std::optional<std::string>& json) {
    std::vector<std::vector<int64_t>> cues;
    if (!json) {
        return cues;
    }
    if (auto compact = compactCues(*json)) {
        return std::move(*compact);
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
