#include "util/Regex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace brell {
namespace {

TEST(RegexTest, MatchesTakesTheWholeTextFindAnyPart) {
    const Regex id("^[a-z]{3}$");
    struct Case {
        const char* name;
        std::string text;
        bool matches;
        bool found;
    };
    const Case cases[] = {
        {"exact", "abc", true, true},
        {"longer", "abcd", false, false},
        // ICU's "$" also matches before a final line break; matches() does not.
        {"final line break", "abc\n", false, true},
        {"ill-formed UTF-8", "ab\xFF", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(id.matches(c.text), c.matches);
        EXPECT_EQ(id.find(c.text), c.found);
    }
}

TEST(RegexTest, CaseInsensitive) {
    const Regex word("(^|/)login(/|$)", Regex::Case::insensitive);
    EXPECT_TRUE(word.find("/a/LogIn/b"));
    EXPECT_FALSE(word.find("/a/logins"));
    EXPECT_FALSE(Regex("login").find("LOGIN"));
}

TEST(RegexTest, SplitCutsAtByteOffsetsOfUTF8) {
    struct Case {
        const char* name;
        std::string pattern;
        std::string text;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"empty pieces kept", ",", "a,,b,", {"a", "", "b", ""}},
        {"no match", ",", "abc", {"abc"}},
        {"multi-byte text around the match",
         "\\p{White_Space}+",
         "\xC3\xA9t\xC3\xA9\xE2\x80\x83\xF0\x9F\x98\x80 x",
         {"\xC3\xA9t\xC3\xA9", "\xF0\x9F\x98\x80", "x"}},
        {"multi-byte separator",
         "\xF0\x9F\x98\x80",
         "a\xF0\x9F\x98\x80"
         "b",
         {"a", "b"}},
        {"empty matches separate nothing", "x*", "ab", {"ab"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Regex(c.pattern).split(c.text), c.expected);
    }
}

TEST(RegexTest, BadPatternThrows) {
    try {
        Regex bad("(unclosed");
        FAIL() << "expected RegexError";
    } catch (const RegexError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "failed to compile the regular expression \"(unclosed\": U_REGEX_MISMATCHED_PAREN");
    }
}

TEST(RegexTest, OnePatternServesSeveralThreads) {
    const Regex pattern("^[A-Za-z0-9_-]{11}$");
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                if (!pattern.matches("dQw4w9WgXcQ") || pattern.matches("dQw4w9WgXc")) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
} // namespace brell
