#include "util/Regex.h"

#include "util/Text.h"

#include <unicode/parseerr.h>
#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

namespace brell {

struct Regex::Impl {
    std::unique_ptr<icu::RegexPattern> pattern;
};

namespace {

struct UTextCloser {
    void operator()(UText* text) const { utext_close(text); }
};
using UTextPtr = std::unique_ptr<UText, UTextCloser>;

void check(UErrorCode status, const char* what) {
    if (U_FAILURE(status)) {
        throw RegexError(std::string("failed to ") + what + ": " + u_errorName(status));
    }
}

// A matcher over `text`, which must stay alive and unchanged while the matcher is used.
// The UText is UTF-8 based, so the matcher's 64-bit offsets are byte offsets into `text`.
struct Matching {
    UTextPtr input;
    std::unique_ptr<icu::RegexMatcher> matcher;

    Matching(const icu::RegexPattern& pattern, std::string_view text) {
        UErrorCode status = U_ZERO_ERROR;
        input.reset(utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status));
        check(status, "open text for a regular expression");
        status = U_ZERO_ERROR;
        matcher.reset(pattern.matcher(status));
        check(status, "create a regular expression matcher");
        matcher->reset(input.get());
    }
};

} // namespace

Regex::Regex(std::string_view pattern, Case matching) : impl_(std::make_unique<Impl>()) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError where{};
    uint32_t flags = matching == Case::insensitive ? UREGEX_CASE_INSENSITIVE : 0;
    icu::UnicodeString source =
        icu::UnicodeString::fromUTF8(icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
    impl_->pattern.reset(icu::RegexPattern::compile(source, flags, where, status));
    if (U_FAILURE(status) || !impl_->pattern) {
        throw RegexError("failed to compile the regular expression \"" + std::string(pattern) +
                         "\": " + u_errorName(status));
    }
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

bool Regex::matches(std::string_view text) const {
    std::string valid;
    if (!Text::isValidUTF8(text)) {
        valid = Text::sanitizeUTF8(text);
        text = valid;
    }
    Matching m(*impl_->pattern, text);
    UErrorCode status = U_ZERO_ERROR;
    bool result = m.matcher->matches(status);
    check(status, "match a regular expression");
    return result;
}

bool Regex::find(std::string_view text) const {
    std::string valid;
    if (!Text::isValidUTF8(text)) {
        valid = Text::sanitizeUTF8(text);
        text = valid;
    }
    Matching m(*impl_->pattern, text);
    UErrorCode status = U_ZERO_ERROR;
    bool result = m.matcher->find(0, status);
    check(status, "search with a regular expression");
    return result;
}

std::vector<std::string> Regex::split(std::string_view text) const {
    std::string valid;
    if (!Text::isValidUTF8(text)) {
        valid = Text::sanitizeUTF8(text);
        text = valid;
    }
    Matching m(*impl_->pattern, text);
    std::vector<std::string> pieces;
    std::size_t pieceStart = 0;
    while (true) {
        UErrorCode status = U_ZERO_ERROR;
        bool found = m.matcher->find(status);
        check(status, "split with a regular expression");
        if (!found) {
            break;
        }
        auto start = static_cast<std::size_t>(m.matcher->start64(status));
        auto end = static_cast<std::size_t>(m.matcher->end64(status));
        check(status, "split with a regular expression");
        if (end == start) {
            // An empty match separates nothing; the matcher moves on by itself.
            continue;
        }
        pieces.emplace_back(text.substr(pieceStart, start - pieceStart));
        pieceStart = end;
    }
    pieces.emplace_back(text.substr(pieceStart));
    return pieces;
}

} // namespace brell
