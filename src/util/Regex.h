#pragma once
// A regular expression compiled once (ICU syntax) and matched against UTF-8 text.
// Construct it once, typically as a function-local static, and use it from any number
// of threads: the compiled pattern is read-only and every call makes its own matcher.
// Text that is not well-formed UTF-8 is matched as if each bad byte were U+FFFD.
//
// The constructor throws RegexError when the pattern does not compile; matching throws
// RegexError only when ICU itself fails (out of memory), never because of the text.
#include "util/Error.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace brell {

class RegexError : public Error {
public:
    explicit RegexError(const std::string& what) : Error(what) {}
};

class Regex {
public:
    enum class Case { sensitive, insensitive };

    explicit Regex(std::string_view pattern, Case matching = Case::sensitive);
    ~Regex();
    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    // True when the whole of `text` matches. Unlike a search for "^...$", a final line
    // break is never tolerated.
    bool matches(std::string_view text) const;

    // True when some part of `text` matches.
    bool find(std::string_view text) const;

    // The pieces of `text` between matches, in order, empty pieces included
    // ("a,,b" split at "," gives "a", "", "b"); the whole text when nothing matches.
    std::vector<std::string> split(std::string_view text) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace brell
