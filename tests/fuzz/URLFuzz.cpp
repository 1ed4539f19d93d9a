// Address cleaning and page identity: any bytes as an address the browser reported.
//
// Checked: sanitize() gives nothing or an address that sanitize() keeps as it is (a
// cleaned address has nothing left to remove); the identity key of an address and of
// its cleaned form agree and have one of the two key forms; a video id always has the
// id's form, and the strict watch-page id is also the lenient one; an article address
// is a cleaned https address without a fragment that is its own article address, and
// the source key follows from the video id or the article address.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "addresses/PageIdentity.h"
#include "addresses/URLSafety.h"

namespace brell {
namespace {

using fuzz::check;

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

void checkKey(const std::optional<std::string>& key) {
    if (key) {
        check(startsWith(*key, "youtube:") || startsWith(*key, "page:"), "a page key is youtube: or page:", *key);
    }
}

} // namespace
} // namespace brell

// libFuzzer calls this name once per input. NOLINTNEXTLINE(readability-identifier-naming)
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brell;
    std::string_view text(reinterpret_cast<const char*>(data), size);

    auto cleaned = URLSafety::sanitize(text);
    auto key = PageIdentity::key(text);
    checkKey(key);
    if (cleaned) {
        check(!cleaned->url.empty(), "a cleaned address is not empty");
        auto again = URLSafety::sanitize(cleaned->url);
        check(again.has_value() && again->url == cleaned->url && !again->redacted,
              "a cleaned address has nothing left to clean", cleaned->url);
        check(PageIdentity::key(cleaned->url) == key, "cleaning an address keeps its page key", cleaned->url);
        (void)URLSafety::displayHost(cleaned->url);
        (void)URLSafety::isWeb(cleaned->url);
        (void)URLSafety::isFile(cleaned->url);
    }

    auto lenient = PageIdentity::youtubeID(text);
    if (lenient) {
        check(PageIdentity::videoIDPattern().matches(*lenient), "a video id has eleven id characters", *lenient);
    }
    if (auto strict = PageIdentity::youtubeIDFromURL(text)) {
        check(PageIdentity::videoIDPattern().matches(*strict), "a watch-page id has eleven id characters", *strict);
        check(lenient == strict, "a watch-page id is also the lenient id", *strict);
    }

    auto article = PageIdentity::canonicalArticleURL(text);
    if (article) {
        check(startsWith(*article, "https://"), "an article address is https", *article);
        check(article->find('#') == std::string::npos, "an article address has no fragment", *article);
        check(PageIdentity::canonicalArticleURL(*article) == article, "an article address is its own", *article);
    }
    auto sourceKey = PageIdentity::sourceKey(text);
    if (lenient) {
        check(sourceKey == "youtube:" + *lenient, "a video's source key is its id");
    } else if (article) {
        check(sourceKey == "article:" + *article, "an article's source key is its address");
    } else {
        check(!sourceKey, "an address that is neither has no source key");
    }

    (void)URLSafety::displayHost(text);
    (void)URLSafety::isWeb(text);
    (void)URLSafety::isFile(text);
    (void)URLSafety::isTracking(text);
    (void)URLSafety::isSecret(text);
    return 0;
}
