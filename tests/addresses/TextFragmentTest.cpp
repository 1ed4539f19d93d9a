#include "addresses/TextFragment.h"

#include <gtest/gtest.h>

#include <random>

namespace brell {
namespace {

std::string repeat(std::string_view piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

TEST(TextFragmentTest, DirectiveText) {
    const std::string base = "https://example.com/a";
    const std::string flag = "\xF0\x9F\x87\xAC\xF0\x9F\x87\xA7"; // one character, two code points
    const std::string flagEncoded = "%F0%9F%87%AC%F0%9F%87%A7";
    struct Case {
        const char* name;
        std::string quote;
        std::string directive; // what follows "#:~:text="
    };
    const Case cases[] = {
        {"short one-line quote", "Prices rise 5% in May", "Prices%20rise%205%25%20in%20May"},
        {"white space collapsed",
         "  Prices \t rise\xC2\xA0\xC2\xA0"
         "again  ",
         "Prices%20rise%20again"},
        {"a line break leads to the start/end form", "First line here\nsecond line there",
         "First%20line%20here,second%20line%20there"},
        {"Unicode line separator counts as a line break",
         "a\xE2\x80\xA8"
         "b",
         "a,b"},
        {"surrounding line breaks do not", "\n\nonly words here\r\n", "only%20words%20here"},
        {"seven words on two lines: three, then four", "a b c\nd e f g", "a%20b%20c,d%20e%20f%20g"},
        {"twelve words longer than 80 characters",
         "Seventeen researchers carefully measured unexpected temperature fluctuations across several "
         "northern coastal observation",
         "Seventeen%20researchers%20carefully%20measured,several%20northern%20coastal%20observation"},
        {"nine lines: first four and last four", "1\n2\n3\n4\n5\n6\n7\n8\n9", "1%202%203%204,6%207%208%209"},
        {"exactly 80 characters stays whole", repeat("x", 39) + " " + repeat("y", 40),
         repeat("x", 39) + "%20" + repeat("y", 40)},
        {"81 characters splits in two", repeat("x", 40) + " " + repeat("y", 40),
         repeat("x", 40) + "," + repeat("y", 40)},
        {"single long word cut at 80 characters", repeat("w", 95), repeat("w", 80)},
        {"characters are user-perceived: 80 flags stay", repeat(flag, 80), repeat(flagEncoded, 80)},
        {"81 flags are cut between flags", repeat(flag, 81), repeat(flagEncoded, 80)},
        {"hyphen, comma and ampersand encoded", "well-known, tested & true", "well%2Dknown%2C%20tested%20%26%20true"},
        {"unreserved characters kept", "a.b_c~d", "a.b_c~d"},
        {"emoji and accents", "I \xE2\x9D\xA4\xEF\xB8\x8F caf\xC3\xA9", "I%20%E2%9D%A4%EF%B8%8F%20caf%C3%A9"},
        {"ill-formed UTF-8 becomes a replacement character",
         "a\xFF"
         "b",
         "a%EF%BF%BDb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TextFragment::url(base, c.quote), base + "#:~:text=" + c.directive);
    }
}

TEST(TextFragmentTest, Bases) {
    struct Case {
        const char* name;
        std::string base;
        std::string quote;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"anchor kept, directive follows it", "https://example.com/a#section", "word",
         "https://example.com/a#section:~:text=word"},
        {"old directive replaced", "https://example.com/a#section:~:text=old,older", "new",
         "https://example.com/a#section:~:text=new"},
        {"directive alone replaced", "https://example.com/a#:~:text=old", "new", "https://example.com/a#:~:text=new"},
        {"empty fragment", "https://example.com/#", "w", "https://example.com/#:~:text=w"},
        {"base kept as written", "HTTPS://EXAMPLE.com/?q=a+b", "w", "HTTPS://EXAMPLE.com/?q=a+b#:~:text=w"},
        {"http", "http://example.com", "w", "http://example.com#:~:text=w"},
        {"file address", "file:///Users/me/a.html", "w", std::nullopt},
        {"mailto", "mailto:a@example.com", "w", std::nullopt},
        {"no scheme", "example.com/a", "w", std::nullopt},
        {"unparseable", "https://exa mple.com/", "w", std::nullopt},
        {"empty quote", "https://example.com/", "", std::nullopt},
        {"blank quote", "https://example.com/", " \n\t\xE2\x80\x83", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TextFragment::url(c.base, c.quote), c.expected);
    }
}

TEST(TextFragmentTest, AllowedSet) {
    const std::string expected = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._~";
    EXPECT_EQ(TextFragment::allowed().count(), expected.size());
    for (unsigned char c : expected) {
        EXPECT_TRUE(TextFragment::allowed()[c]) << c;
    }
    EXPECT_FALSE(TextFragment::allowed()['-']);
}

// Whatever the quote, the directive holds only allowed bytes, escapes and at most one
// separating comma, and nothing throws.
TEST(TextFragmentTest, RandomQuotesGiveWellFormedDirectives) {
    std::mt19937 random(31337);
    const std::string pieces[] = {
        "a", "Z", " ", "\n", "-", ",", "&", "%", "#", ":~:", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xE2\x80\xA8", "word "};
    const std::string base = "https://example.com/p#anchor:~:text=old";
    for (int i = 0; i < 3000; ++i) {
        std::string quote;
        std::size_t length = random() % 60;
        for (std::size_t k = 0; k < length; ++k) {
            if (random() % 20 == 0) {
                quote += static_cast<char>(random() % 256);
            } else {
                quote += pieces[random() % std::size(pieces)];
            }
        }
        SCOPED_TRACE(quote);
        std::optional<std::string> link;
        ASSERT_NO_THROW(link = TextFragment::url(base, quote));
        if (!link) {
            continue;
        }
        const std::string head = "https://example.com/p#anchor:~:text=";
        ASSERT_EQ(link->substr(0, head.size()), head);
        std::string directive = link->substr(head.size());
        EXPECT_FALSE(directive.empty());
        int commas = 0;
        for (std::size_t k = 0; k < directive.size(); ++k) {
            auto c = static_cast<unsigned char>(directive[k]);
            if (c == ',') {
                ++commas;
            } else if (c == '%') {
                ASSERT_LE(k + 2, directive.size() - 1);
                k += 2;
            } else {
                EXPECT_TRUE(TextFragment::allowed()[c]) << directive;
            }
        }
        EXPECT_LE(commas, 1);
    }
}

} // namespace
} // namespace brell
