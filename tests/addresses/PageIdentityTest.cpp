#include "addresses/PageIdentity.h"

#include <gtest/gtest.h>

#include <random>

namespace brell {
namespace {

const std::string id = "dQw4w9WgXcQ";

struct IDCase {
    const char* name;
    std::string text;
    std::optional<std::string> lenient; // PageIdentity::youtubeID
    std::optional<std::string> strict;  // PageIdentity::youtubeIDFromURL
};

TEST(PageIdentityTest, YouTubeIDs) {
    const IDCase cases[] = {
        {"watch page", "https://www.youtube.com/watch?v=" + id, id, id},
        {"bare domain, v after other items", "https://youtube.com/watch?feature=share&v=" + id + "&t=4", id, id},
        {"mobile host", "https://m.youtube.com/watch?v=" + id, id, id},
        {"host in capitals", "https://WWW.YouTube.com/watch?v=" + id, id, id},
        {"http", "http://www.youtube.com/watch?v=" + id, id, std::nullopt},
        {"scheme in capitals", "HTTPS://www.youtube.com/watch?v=" + id, id, std::nullopt},
        {"surrounding white space", " https://www.youtube.com/watch?v=" + id + "\n", id, std::nullopt},
        {"short link", "https://youtu.be/" + id + "?t=42", id, std::nullopt},
        {"short link with more segments", "https://youtu.be/" + id + "/x", id, std::nullopt},
        {"shorts", "https://www.youtube.com/shorts/" + id, id, std::nullopt},
        {"embed on the mobile host", "https://m.youtube.com/embed/" + id, id, std::nullopt},
        {"live", "https://youtube.com/live/" + id + "?feature=share", id, std::nullopt},
        {"old /v/ path", "https://www.youtube.com/v/" + id, id, std::nullopt},
        {"music host", "https://music.youtube.com/watch?v=" + id, id, std::nullopt},
        {"privacy-enhanced embed", "https://www.youtube-nocookie.com/embed/" + id, id, std::nullopt},
        {"short link with a 10-character id", "https://youtu.be/" + id.substr(0, 10), std::nullopt, std::nullopt},
        {"short link without id", "https://youtu.be/", std::nullopt, std::nullopt},
        {"watch without v", "https://www.youtube.com/watch?list=PL1", std::nullopt, std::nullopt},
        {"v without value", "https://www.youtube.com/watch?v", std::nullopt, std::nullopt},
        {"only the first v counts", "https://www.youtube.com/watch?v=&v=" + id, std::nullopt, std::nullopt},
        {"12-character id", "https://www.youtube.com/watch?v=" + id + "A", std::nullopt, std::nullopt},
        {"encoded line break after the id", "https://www.youtube.com/watch?v=" + id + "%0A", std::nullopt,
         std::nullopt},
        {"bad character", "https://www.youtube.com/watch?v=dQw4w9WgXc!", std::nullopt, std::nullopt},
        {"path case matters", "https://www.youtube.com/Watch?v=" + id, std::nullopt, std::nullopt},
        {"trailing slash after watch", "https://www.youtube.com/watch/?v=" + id, std::nullopt, std::nullopt},
        {"prefix alone", "https://www.youtube.com/shorts", std::nullopt, std::nullopt},
        {"other first segment", "https://www.youtube.com/channel/" + id, std::nullopt, std::nullopt},
        {"look-alike host", "https://www.youtube.com.evil.example/watch?v=" + id, std::nullopt, std::nullopt},
        {"other host", "https://example.com/watch?v=" + id, std::nullopt, std::nullopt},
        {"other scheme", "ftp://www.youtube.com/watch?v=" + id, std::nullopt, std::nullopt},
        {"unparseable", "https://www.youtube.com/watch?v=" + id + "%", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PageIdentity::youtubeID(c.text), c.lenient);
        EXPECT_EQ(PageIdentity::youtubeIDFromURL(c.text), c.strict);
    }
}

TEST(PageIdentityTest, Patterns) {
    struct Case {
        const char* name;
        std::string text;
        bool matches;
    };
    const Case ids[] = {
        {"eleven characters", id, true},        {"hyphen and underscore", "a_b-c_d-e_f", true},
        {"final line break", id + "\n", false}, {"ten characters", id.substr(0, 10), false},
        {"percent sign", "dQw4w9WgXc%", false},
    };
    for (const auto& c : ids) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PageIdentity::videoIDPattern().matches(c.text), c.matches);
    }
    const Case paths[] = {
        {"segment in capitals", "/LOGIN", true},
        {"followed by a slash", "/a/oauth/callback", true},
        {"with a file extension", "/user/settings.html", true},
        {"followed by a question mark", "/cart?x", true},
        {"without a leading slash", "checkout", true},
        {"longer word", "/editorial", false},
        {"hyphenated word", "/blog/login-tips", false},
        {"word inside a segment", "/my-account", false},
        {"plain page", "/news/2024/story", false},
    };
    for (const auto& c : paths) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PageIdentity::sensitivePath().find(c.text), c.matches);
    }
}

TEST(PageIdentityTest, Keys) {
    struct Case {
        const char* name;
        std::string text;
        std::optional<std::string> key;
    };
    const Case cases[] = {
        {"video", "https://youtu.be/" + id, "youtube:" + id},
        {"host lower-cased, www. and trailing slash removed, query sorted, fragment dropped",
         "https://WWW.Example.COM/a/B/?y=2&x=1#frag", "page:example.com/a/B?x=1&y=2"},
        {"other port kept", "http://example.com:8080", "page:example.com:8080/"},
        {"default ports dropped", "https://example.com:443/", "page:example.com/"},
        {"http default port dropped too", "https://example.com:80/", "page:example.com/"},
        {"items without value", "https://example.com/?b&a=", "page:example.com/?a=&b="},
        {"only slashes", "https://example.com///", "page:example.com/"},
        {"tracking removed", "https://example.com/?utm_source=x", "page:example.com/"},
        {"secret removed", "https://u:p@example.com/?token=1&q=a", "page:example.com/?q=a"},
        {"encoded query kept encoded", "https://example.com/s?q=caf%C3%A9", "page:example.com/s?q=caf%C3%A9"},
        {"IPv6 with port", "http://[::1]:8080/x", "page:[::1]:8080/x"},
        {"file address", "file:///Users/me/a.txt", std::nullopt},
        {"mailto", "mailto:me@example.com", std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PageIdentity::key(c.text), c.key);
    }
}

TEST(PageIdentityTest, KeysRecogniseTheSamePage) {
    struct Case {
        const char* name;
        std::string a;
        std::string b;
        bool same;
    };
    const Case cases[] = {
        {"www. and bare host", "https://www.example.com/a", "https://example.com/a", true},
        {"http and https", "http://example.com/a", "https://example.com/a", true},
        {"trailing slash", "https://example.com/a/", "https://example.com/a", true},
        {"order of items", "https://example.com/a?x=1&y=2", "https://example.com/a?y=2&x=1", true},
        {"tracking and fragment", "https://example.com/a?fbclid=9#s", "https://example.com/a", true},
        {"video forms", "https://www.youtube.com/watch?v=" + id, "https://youtu.be/" + id, true},
        {"a real item differs", "https://example.com/a?x=1", "https://example.com/a?x=2", false},
        {"path case differs", "https://example.com/A", "https://example.com/a", false},
        {"port differs", "https://example.com:8443/a", "https://example.com/a", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto a = PageIdentity::key(c.a);
        auto b = PageIdentity::key(c.b);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(*a == *b, c.same) << *a << " / " << *b;
    }
}

TEST(PageIdentityTest, ArticleAddressesAndSourceKeys) {
    struct Case {
        const char* name;
        std::string text;
        std::optional<std::string> article;
        std::optional<std::string> sourceKey;
    };
    const Case cases[] = {
        {"cleaned https article", "https://Example.com/news/story?id=1&utm_source=x#part",
         "https://Example.com/news/story?id=1", "article:https://Example.com/news/story?id=1"},
        {"scheme in capitals is cleaned first", "HTTPS://example.com/x", "https://example.com/x",
         "article:https://example.com/x"},
        {"credentials removed", "https://u:p@example.com:8443/a", "https://example.com:8443/a",
         "article:https://example.com:8443/a"},
        {"query word is not a path", "https://example.com/search?q=login", "https://example.com/search?q=login",
         "article:https://example.com/search?q=login"},
        {"word followed by more letters", "https://example.com/editorial/piece", "https://example.com/editorial/piece",
         "article:https://example.com/editorial/piece"},
        {"plain http", "http://example.com/x", std::nullopt, std::nullopt},
        {"sign-in page in capitals", "https://example.com/LOGIN", std::nullopt, std::nullopt},
        {"settings with a file extension", "https://example.com/user/settings.php", std::nullopt, std::nullopt},
        {"account folder", "https://example.com/account/", std::nullopt, std::nullopt},
        {"encoded sensitive segment", "https://example.com/log%69n", std::nullopt, std::nullopt},
        {"file address", "file:///Users/me/a.txt", std::nullopt, std::nullopt},
        {"video watch page", "https://www.youtube.com/watch?v=" + id, "https://www.youtube.com/watch?v=" + id,
         "youtube:" + id},
        {"video short link", "https://youtu.be/" + id, "https://youtu.be/" + id, "youtube:" + id},
        {"plain http video is still a video", "http://youtu.be/" + id, std::nullopt, "youtube:" + id},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PageIdentity::canonicalArticleURL(c.text), c.article);
        EXPECT_EQ(PageIdentity::sourceKey(c.text), c.sourceKey);
    }
}

TEST(PageIdentityTest, RandomBytesNeverThrow) {
    std::mt19937 random(4242);
    const std::string prefixes[] = {"", "https://youtu.be/", "https://www.youtube.com/watch?v=", "https://example.com/",
                                    "http://[::1]/"};
    for (int i = 0; i < 3000; ++i) {
        std::string text = prefixes[random() % std::size(prefixes)];
        std::size_t length = random() % 24;
        for (std::size_t k = 0; k < length; ++k) {
            text += static_cast<char>(random() % 256);
        }
        SCOPED_TRACE(i);
        ASSERT_NO_THROW({
            PageIdentity::youtubeID(text);
            PageIdentity::youtubeIDFromURL(text);
            PageIdentity::key(text);
            PageIdentity::canonicalArticleURL(text);
            PageIdentity::sourceKey(text);
        });
    }
}

} // namespace
} // namespace brell
