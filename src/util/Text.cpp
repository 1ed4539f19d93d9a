#include "util/Text.h"

#include <algorithm>
#include <memory>

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace brell::Text {
namespace {

struct UTextCloser {
    void operator()(UText* text) const { utext_close(text); }
};
using UTextPtr = std::unique_ptr<UText, UTextCloser>;

// Creating a character break iterator loads ICU's rules; keep one per thread.
icu::BreakIterator& characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !it) {
            throw TextError("failed to create ICU character iterator");
        }
        return it;
    }();
    return *iterator;
}

// Like the character iterator, one sentence iterator per thread.
icu::BreakIterator& sentenceIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createSentenceInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !it) {
            throw TextError("failed to create ICU sentence iterator");
        }
        return it;
    }();
    return *iterator;
}

UChar32 nextCodePoint(std::string_view text, std::size_t& offset) {
    UChar32 c = 0;
    auto i = static_cast<int32_t>(offset);
    U8_NEXT(reinterpret_cast<const uint8_t*>(text.data()), i, static_cast<int32_t>(text.size()), c);
    offset = static_cast<std::size_t>(i);
    return c;
}

icu::UnicodeString toUnicode(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUTF8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

} // namespace

std::string trim(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t next = begin;
        UChar32 c = nextCodePoint(text, next);
        if (c < 0 || !u_isUWhiteSpace(c)) {
            break;
        }
        begin = next;
    }
    std::size_t end = text.size();
    while (end > begin) {
        auto i = static_cast<int32_t>(end);
        UChar32 c = 0;
        U8_PREV(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(begin), i, c);
        if (c < 0 || !u_isUWhiteSpace(c)) {
            break;
        }
        end = static_cast<std::size_t>(i);
    }
    return std::string(text.substr(begin, end - begin));
}

bool isBlank(std::string_view text) {
    return trim(text).empty();
}

std::vector<std::size_t> characterBoundaries(std::string_view text) {
    std::vector<std::size_t> bounds{0};
    if (text.empty()) {
        return bounds;
    }
    std::string valid;
    if (!isValidUTF8(text)) {
        valid = sanitizeUTF8(text);
        text = valid;
    }
    UErrorCode status = U_ZERO_ERROR;
    UTextPtr utext(utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status));
    if (U_FAILURE(status)) {
        throw TextError("failed to open text for ICU");
    }
    icu::BreakIterator& it = characterIterator();
    status = U_ZERO_ERROR;
    it.setText(utext.get(), status);
    if (U_FAILURE(status)) {
        throw TextError("failed to iterate text with ICU");
    }
    it.first();
    for (int32_t b = it.next(); b != icu::BreakIterator::DONE; b = it.next()) {
        bounds.push_back(static_cast<std::size_t>(b));
    }
    // Detach the iterator from the UText before it is closed.
    icu::UnicodeString empty;
    it.setText(empty);
    return bounds;
}

std::size_t characterCount(std::string_view text) {
    // ASCII without CR is one character per byte; skip ICU for it.
    bool simple = true;
    for (unsigned char c : text) {
        if (c >= 0x80 || c == '\r') {
            simple = false;
            break;
        }
    }
    if (simple) {
        return text.size();
    }
    return characterBoundaries(text).size() - 1;
}

std::string prefixCharacters(std::string_view text, std::size_t count) {
    auto bounds = characterBoundaries(text);
    if (count + 1 >= bounds.size()) {
        return isValidUTF8(text) ? std::string(text) : sanitizeUTF8(text);
    }
    std::string valid = isValidUTF8(text) ? std::string(text) : sanitizeUTF8(text);
    return valid.substr(0, bounds[count]);
}

std::string lower(std::string_view text) {
    icu::UnicodeString u = toUnicode(text);
    u.toLower(icu::Locale::getRoot());
    return toUTF8(u);
}

std::string upper(std::string_view text) {
    icu::UnicodeString u = toUnicode(text);
    u.toUpper(icu::Locale::getRoot());
    return toUTF8(u);
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string fold(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) {
        throw TextError("failed to load ICU normalizers");
    }
    icu::UnicodeString decomposed = nfd->normalize(toUnicode(text), status);
    if (U_FAILURE(status)) {
        throw TextError("failed to normalize text with ICU");
    }
    icu::UnicodeString stripped;
    for (int32_t i = 0; i < decomposed.length();) {
        UChar32 c = decomposed.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) {
            stripped.append(c);
        }
        i += U16_LENGTH(c);
    }
    stripped.foldCase();
    icu::UnicodeString composed = nfc->normalize(stripped, status);
    if (U_FAILURE(status)) {
        throw TextError("failed to normalize text with ICU");
    }
    return toUTF8(composed);
}

std::string caseFold(std::string_view text) {
    // Plain ASCII folds to its lower case and is already composed; searches over many
    // saved items fold mostly such text, and ICU's round trip costs far more.
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return asciiLower(text);
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) {
        throw TextError("failed to load ICU normalizers");
    }
    icu::UnicodeString folded = toUnicode(isValidUTF8(text) ? std::string(text) : sanitizeUTF8(text));
    folded.foldCase(U_FOLD_CASE_DEFAULT);
    icu::UnicodeString composed = nfc->normalize(folded, status);
    if (U_FAILURE(status)) {
        throw TextError("failed to normalize text with ICU");
    }
    return toUTF8(composed);
}

std::string removeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 || (byte >= '\t' && byte <= '\r')) {
            out += c;
        }
    }
    return out;
}

bool isValidUTF8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        if (nextCodePoint(text, i) < 0) {
            return false;
        }
    }
    return true;
}

std::string sanitizeUTF8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t start = i;
        UChar32 c = nextCodePoint(text, i);
        if (c < 0) {
            out += "\xEF\xBF\xBD";
        } else {
            out.append(text.substr(start, i - start));
        }
    }
    return out;
}

std::string join(const std::vector<std::string>& pieces, std::string_view glue) {
    std::string out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            out += glue;
        }
        out += pieces[i];
    }
    return out;
}

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, at - start));
        start = at + 1;
    }
}

std::vector<std::string> sentences(std::string_view text) {
    std::vector<std::string> out;
    std::string valid(text);
    if (!isValidUTF8(valid)) {
        valid = sanitizeUTF8(valid);
    }
    if (valid.empty()) {
        return out;
    }
    UErrorCode status = U_ZERO_ERROR;
    UTextPtr utext(utext_openUTF8(nullptr, valid.data(), static_cast<int64_t>(valid.size()), &status));
    if (U_FAILURE(status)) {
        throw TextError("failed to open text for ICU");
    }
    icu::BreakIterator& it = sentenceIterator();
    status = U_ZERO_ERROR;
    it.setText(utext.get(), status);
    if (U_FAILURE(status)) {
        throw TextError("failed to iterate text with ICU");
    }
    int32_t start = it.first();
    for (int32_t end = it.next(); end != icu::BreakIterator::DONE; start = end, end = it.next()) {
        std::string piece = valid.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
        if (!isBlank(piece)) {
            out.push_back(std::move(piece));
        }
    }
    icu::UnicodeString empty;
    it.setText(empty);
    return out;
}

} // namespace brell::Text
