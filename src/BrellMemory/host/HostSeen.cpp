// The companion's "seen before" question about the page the user just opened.
#include "BrellMemory/host/HostProtocol.h"

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/host/SavedQuotes.h"
#include "BrellMemory/store/URLSafety.h"
#include "util/ISODate.h"
#include "util/Text.h"
#include "util/URLComponents.h"

namespace brell {
namespace {

Json rangesJson(const std::vector<Range>& ranges) {
    Json out = Json::array();
    for (std::size_t i = 0; i < ranges.size() && i < 500; ++i) {
        out.push_back({ranges[i].start, ranges[i].end});
    }
    return out;
}

} // namespace

Json HostProtocol::seen(const Json& message, const std::optional<std::string>& requestId) {
    Json reply = {{"type", "seen"}, {"version", HostProtocol::version}};
    if (requestId) {
        reply["requestId"] = *requestId;
    }
    auto unknown = [&](const char* reason) {
        reply["known"] = false;
        if (reason != nullptr) {
            reply["reason"] = reason;
        }
        return reply;
    };

    auto url = string(JsonText::member(message, "url"), 2000);
    auto cleaned = url ? URLSafety::sanitize(*url) : std::nullopt;
    auto parsed = cleaned ? URLComponents::parse(cleaned->url) : std::nullopt;
    if (!parsed || parsed->scheme != "https") {
        return unknown("invalid_url");
    }
    MemoryState state;
    try {
        state = store_.state();
    } catch (const std::exception&) {
        return error("retry", "store_unavailable");
    }
    if (!state.capturing()) {
        return unknown("disabled");
    }
    std::string page;
    if (auto video = youtubeID(cleaned->url)) {
        if (!state.youtube) {
            return unknown("disabled");
        }
        page = "https://www.youtube.com/watch?v=" + *video;
    } else {
        auto article = canonicalArticleURL(cleaned->url);
        auto origin = article ? MemoryStore::canonicalOrigin(*article) : std::nullopt;
        bool approved = origin && std::any_of(state.origins.begin(), state.origins.end(), [&](const AllowedOrigin& o) {
                            return o.origin == *origin && !o.muted;
                        });
        if (!approved) {
            return unknown("not_allowed");
        }
        page = *article;
    }
    auto sinceText = JsonText::string(JsonText::member(message, "since"));
    auto since = sinceText ? ISODate::parse(*sinceText) : std::nullopt;

    std::optional<SeenBefore> found;
    try {
        found = store_.seenBefore(page, since);
    } catch (const std::exception&) {
    }
    if (!found) {
        return unknown(nullptr);
    }
    reply["known"] = true;
    reply["kind"] = found->kind;
    reply["title"] = found->title;
    reply["watched"] = rangesJson(found->watched);
    reply["played"] = rangesJson(found->played);
    reply["watchedSeconds"] = found->watchedSeconds;
    reply["playedSeconds"] = found->playedSeconds;
    reply["readSeconds"] = found->readSeconds;
    reply["sectionsRead"] = found->sectionsRead;
    reply["quotes"] = SavedQuotes::count(page, boardURL_);
    reply["firstSeenAt"] = ISODate::format(found->firstSeen);
    reply["lastSeenAt"] = ISODate::format(found->lastSeen);
    return reply;
}

} // namespace brell
