#include "BrellMemory/insights/CandidateValidation.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>

#include "util/Text.h"

namespace brell::CandidateValidation {
namespace {

constexpr std::size_t titleLimit = 80;
constexpr std::size_t whyNowLimit = 160;
constexpr std::size_t nextStepLimit = 230;
constexpr std::size_t outcomeLimit = 160;
constexpr std::size_t uncertaintyLimit = 200;
constexpr std::size_t claimLimit = 160;

constexpr std::array<std::string_view, 4> verdicts = {"supported", "inference_only", "contradicted", "unsupported"};

// One code point from well-formed UTF-8 at `i`, advancing `i`; a stray byte is taken
// as itself so that nothing is lost.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    if (length == 1 || i + length > text.size()) {
        ++i;
        return byte;
    }
    char32_t value = byte & (0xFF >> (length + 1));
    for (std::size_t k = 1; k < length; ++k) {
        value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    i += length;
    return value;
}

// Characters that render as nothing: a link or a command split by them reads whole.
bool isInvisible(char32_t c) {
    return c == 0xAD || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

bool isOtherSpace(char32_t c) {
    return c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The text as the marks are looked for in it: invisible characters dropped, every
// kind of white space a plain space, lower case.
std::string safetyForm(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t start = i;
        char32_t c = nextCodePoint(text, i);
        if (isInvisible(c)) {
            continue;
        }
        if (isOtherSpace(c)) {
            plain += ' ';
            continue;
        }
        plain.append(text.substr(start, i - start));
    }
    return Text::lower(plain);
}

// One text field: missing or null is nothing (or schema when required), another kind is
// schema, blank after trimming is nothing (or schema), over the limit is length.
std::optional<std::string> field(const Json& candidate, const std::string& key, std::size_t limit, bool required) {
    const Json& value = JsonText::member(candidate, key);
    if (value.is_null()) {
        if (required) {
            throw Failure::schema(key);
        }
        return std::nullopt;
    }
    auto raw = JsonText::string(value);
    if (!raw) {
        throw Failure::schema(key);
    }
    std::string trimmed = Text::trim(*raw);
    if (trimmed.empty()) {
        if (required) {
            throw Failure::schema(key);
        }
        return std::nullopt;
    }
    if (Text::characterCount(trimmed) > limit) {
        throw Failure::length(key);
    }
    return trimmed;
}

bool isRole(const std::string& role) {
    return std::find(roles.begin(), roles.end(), role) != roles.end();
}

} // namespace

Failure::Failure(Case failureCase, std::string key, const std::string& description)
    : Error(description), case_(failureCase), key_(std::move(key)) {}

Failure Failure::schema(const std::string& key) {
    return Failure(Case::schema, key, "the candidate's \"" + key + "\" is missing or not allowed");
}

Failure Failure::length(const std::string& key) {
    return Failure(Case::length, key, "the candidate's \"" + key + "\" is too long or empty");
}

Failure Failure::unknownID() {
    return Failure(Case::unknownID, "", "the candidate cites a passage that was not offered to the model");
}

Failure Failure::foreignTask() {
    return Failure(Case::foreignTask, "", "the candidate names another project or task");
}

Failure Failure::unsafe() {
    return Failure(Case::unsafe, "", "the candidate contains a link, a command, code or a secret-like word");
}

Failure Failure::evidenceCount() {
    return Failure(Case::evidenceCount, "", "the candidate cites too few or too many distinct passages");
}

bool isUnsafe(std::string_view text) {
    std::string plain = safetyForm(text);
    return std::any_of(unsafeMarks.begin(), unsafeMarks.end(),
                       [&](std::string_view mark) { return plain.find(mark) != std::string::npos; });
}

CandidateDraft parse(const Json& candidate, const TaskContext& task, const std::vector<Excerpt>& pack, bool proactive) {
    CandidateDraft draft;
    auto relationship = JsonText::string(JsonText::member(candidate, "relationship"));
    auto known = relationship ? relationshipFromRaw(*relationship) : std::nullopt;
    if (!known) {
        throw Failure::schema("relationship");
    }
    draft.relationship = *known;

    if (JsonText::string(JsonText::member(candidate, "projectId")) != task.promptProjectID() ||
        JsonText::string(JsonText::member(candidate, "taskId")) != task.promptTaskID()) {
        throw Failure::foreignTask();
    }

    draft.title = *field(candidate, "title", titleLimit, true);
    draft.whyNow = *field(candidate, "whyNow", whyNowLimit, true);
    draft.nextStep = *field(candidate, "nextStep", nextStepLimit, true);
    draft.expectedOutcome = field(candidate, "expectedOutcome", outcomeLimit, false);
    draft.uncertainty = field(candidate, "uncertainty", uncertaintyLimit, false);

    if (isUnsafe(draft.title + " " + draft.whyNow + " " + draft.nextStep + " " + draft.expectedOutcome.value_or("") +
                 " " + draft.uncertainty.value_or(""))) {
        throw Failure::unsafe();
    }

    const Json& evidence = JsonText::member(candidate, "evidence");
    if (!evidence.is_array() ||
        !std::all_of(evidence.begin(), evidence.end(), [](const Json& entry) { return entry.is_object(); })) {
        throw Failure::schema("evidence");
    }

    std::map<std::string, int64_t> offered;
    for (const Excerpt& excerpt : pack) {
        offered.emplace(excerpt.promptID(), excerpt.chunkID);
    }
    for (const Json& entry : evidence) {
        auto id = JsonText::string(JsonText::member(entry, "chunkId"));
        auto chunk = id ? offered.find(*id) : offered.end();
        if (chunk == offered.end()) {
            throw Failure::unknownID();
        }
        auto role = JsonText::string(JsonText::member(entry, "role"));
        if (!role || !isRole(*role)) {
            throw Failure::schema("role");
        }
        auto claim = JsonText::string(JsonText::member(entry, "claim"));
        if (!claim || claim->empty() || Text::characterCount(*claim) > claimLimit) {
            throw Failure::length("claim");
        }
        // Claims are shown beside the insight like its other texts.
        if (isUnsafe(*claim)) {
            throw Failure::unsafe();
        }
        bool cited = std::any_of(draft.evidence.begin(), draft.evidence.end(),
                                 [&](const CandidateEvidence& item) { return item.chunkID == chunk->second; });
        if (!cited) {
            draft.evidence.push_back(CandidateEvidence{chunk->second, *role, *claim, std::nullopt});
        }
    }

    std::size_t least = proactive ? 2 : 1;
    if (draft.evidence.size() < least || draft.evidence.size() > 3) {
        throw Failure::evidenceCount();
    }
    draft.origin = "model";
    return draft;
}

CandidateDraft applyVerdict(CandidateDraft draft, const Json& verdict) {
    if (const Json& claims = JsonText::member(verdict, "claims"); claims.is_array()) {
        for (const Json& entry : claims) {
            auto index = JsonText::integer(JsonText::member(entry, "index"));
            auto said = JsonText::string(JsonText::member(entry, "verdict"));
            if (!index || *index < 0 || static_cast<uint64_t>(*index) >= draft.evidence.size() || !said ||
                std::find(verdicts.begin(), verdicts.end(), *said) == verdicts.end()) {
                continue;
            }
            draft.evidence[static_cast<std::size_t>(*index)].verdict = *said;
        }
    }
    bool inferred = false;
    for (CandidateEvidence& item : draft.evidence) {
        if (!item.verdict) {
            item.verdict = "unsupported";
        }
        inferred = inferred || item.verdict == "inference_only";
    }
    // An inference is only acceptable when the draft says what is uncertain.
    if (inferred && draft.uncertainty.value_or("").empty()) {
        for (CandidateEvidence& item : draft.evidence) {
            if (item.verdict == "inference_only") {
                item.verdict = "unsupported";
            }
        }
    }
    draft.actionFollows = JsonText::boolean(JsonText::member(verdict, "actionFollows")).value_or(false);
    return draft;
}

} // namespace brell::CandidateValidation
