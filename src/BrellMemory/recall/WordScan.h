#pragma once
// The word scanner under QueryTerms and TermMatcher: walks the words of a text without
// building a list, lower-cased as QueryTerms::words defines them. Plain ASCII runs are
// lower-cased and split byte by byte; a run holding other characters goes through the
// Unicode lower-casing and is split at every code point that is neither a letter, a
// number nor a combining mark (a mark is part of the word it sits on).
//
// Runs end only at ASCII characters that are neither letters, digits nor
// case-ignorable, so lower-casing a run gives the same letters as lower-casing the whole
// text (the final-sigma rule cannot look past such a character).
//
// Stateless; safe from any thread. Throws only std::bad_alloc or a failure of ICU.
#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace brell::WordScan {

// The stem of an already lower-cased word; always a prefix of it.
std::string_view stemOfLowered(std::string_view word);

// The words of a run that holds characters beyond ASCII, lower-cased, in order.
std::vector<std::string> unicodeWords(std::string_view run);

inline bool isASCIILetterOrDigit(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// An ASCII character that no lower-casing rule looks across.
inline bool endsRun(unsigned char c) {
    return c < 0x80 && !isASCIILetterOrDigit(c) && c != '\'' && c != '.' && c != ':' && c != '^' && c != '`';
}

// What an ASCII byte is to the word scanner: 0 separates words, 1 is a lower-case
// letter or a digit, 2 an upper-case letter.
inline constexpr auto asciiClasses = [] {
    std::array<unsigned char, 256> classes{};
    for (int c = '0'; c <= '9'; ++c) {
        classes[static_cast<std::size_t>(c)] = 1;
    }
    for (int c = 'a'; c <= 'z'; ++c) {
        classes[static_cast<std::size_t>(c)] = 1;
    }
    for (int c = 'A'; c <= 'Z'; ++c) {
        classes[static_cast<std::size_t>(c)] = 2;
    }
    return classes;
}();

// The words of ASCII text: views into it where already lower case, else lower-cased
// into `buffer`.
template <class Visit> void forEachASCIIWord(std::string_view text, std::string& buffer, Visit& visit) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        while (p < end && asciiClasses[*p] == 0) {
            ++p;
        }
        const auto* start = p;
        unsigned char seen = 0;
        while (p < end && asciiClasses[*p] != 0) {
            seen |= asciiClasses[*p];
            ++p;
        }
        if (p == start) {
            continue;
        }
        std::string_view word(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start));
        if ((seen & 2) == 0) {
            visit(word);
            continue;
        }
        buffer.assign(word);
        for (char& c : buffer) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c + ('a' - 'A'));
            }
        }
        visit(std::string_view(buffer));
    }
}

// Calls visit(word) for each word of `text`, in order; `word` is a lower-cased view that
// lives only for the call.
template <class Visit> void forEachWord(std::string_view text, Visit&& visit) {
    std::string buffer;
    bool ascii = true;
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        forEachASCIIWord(text, buffer, visit);
        return;
    }
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = i;
        bool asciiRun = true;
        while (end < text.size() && !endsRun(static_cast<unsigned char>(text[end]))) {
            asciiRun = asciiRun && static_cast<unsigned char>(text[end]) < 0x80;
            ++end;
        }
        if (asciiRun) {
            forEachASCIIWord(text.substr(i, end - i), buffer, visit);
        } else {
            for (const auto& piece : unicodeWords(text.substr(i, end - i))) {
                visit(std::string_view(piece));
            }
        }
        i = end + 1; // the character at `end` separates runs (or the text has ended)
    }
}

} // namespace brell::WordScan
