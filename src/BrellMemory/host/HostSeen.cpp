// The companion's "seen before" question about the page the user just opened.
#include "BrellMemory/host/HostProtocol.h"

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/host/SavedQuotes.h"
#include "addresses/URLComponents.h"
#include "addresses/URLSafety.h"
#include "util/ISODate.h"
#include "util/Text.h"

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
    auto sinceText = JsonText::string(JsonText::member(message, "since"));
    auto since = sinceText ? ISODate::parse(*sinceText) : std::nullopt;
    SeenAnswer answer = seenAnswer(string(JsonText::member(message, "url"), 2000), since);
    if (answer.outcome == SeenAnswer::Outcome::storeUnavailable) {
        return error("retry", "store_unavailable");
    }
    return seenReply(answer, requestId);
}

SeenAnswer HostProtocol::seenAnswer(const std::optional<std::string>& url, std::optional<Date> since) {
    using Outcome = SeenAnswer::Outcome;
    auto only = [](Outcome outcome) {
        SeenAnswer answer;
        answer.outcome = outcome;
        return answer;
    };
    auto cleaned = url ? URLSafety::sanitize(*url) : std::nullopt;
    auto parsed = cleaned ? URLComponents::parse(cleaned->url) : std::nullopt;
    if (!parsed || parsed->scheme != "https") {
        return only(Outcome::invalidURL);
    }
    MemoryState state;
    try {
        state = store_.state();
    } catch (const std::exception&) {
        return only(Outcome::storeUnavailable);
    }
    if (!state.capturing()) {
        return only(Outcome::disabled);
    }
    std::string page;
    if (auto video = youtubeID(cleaned->url)) {
        if (!state.youtube) {
            return only(Outcome::disabled);
        }
        page = "https://www.youtube.com/watch?v=" + *video;
    } else {
        auto article = canonicalArticleURL(cleaned->url);
        auto origin = article ? MemoryStore::canonicalOrigin(*article) : std::nullopt;
        bool approved = origin && std::any_of(state.origins.begin(), state.origins.end(),
                                              [&](const AllowedOrigin& o) { return o.origin == *origin && !o.muted; });
        if (!approved) {
            return only(Outcome::notAllowed);
        }
        page = *article;
    }
    std::optional<SeenBefore> found;
    try {
        found = store_.seenBefore(page, since);
    } catch (const std::exception&) {
        // A page that cannot be read now is answered as not seen: the companion asks again.
    }
    if (!found) {
        return only(Outcome::notSeen);
    }
    return {Outcome::known, std::move(found), SavedQuotes::count(page, boardURL_)};
}

Json HostProtocol::seenReply(const SeenAnswer& answer, const std::optional<std::string>& requestId) {
    using Outcome = SeenAnswer::Outcome;
    Json reply = {{"type", "seen"}, {"version", HostProtocol::version}};
    if (requestId) {
        reply["requestId"] = *requestId;
    }
    if (answer.outcome != Outcome::known || !answer.visit) {
        reply["known"] = false;
        switch (answer.outcome) {
        case Outcome::invalidURL:
            reply["reason"] = "invalid_url";
            break;
        case Outcome::disabled:
            reply["reason"] = "disabled";
            break;
        case Outcome::notAllowed:
            reply["reason"] = "not_allowed";
            break;
        default:
            break;
        }
        return reply;
    }
    const SeenBefore& found = *answer.visit;
    reply["known"] = true;
    reply["kind"] = found.kind;
    reply["title"] = found.title;
    reply["watched"] = rangesJson(found.watched);
    reply["played"] = rangesJson(found.played);
    reply["watchedSeconds"] = found.watchedSeconds;
    reply["playedSeconds"] = found.playedSeconds;
    reply["readSeconds"] = found.readSeconds;
    reply["sectionsRead"] = found.sectionsRead;
    reply["quotes"] = answer.quotes;
    reply["firstSeenAt"] = ISODate::format(found.firstSeen);
    reply["lastSeenAt"] = ISODate::format(found.lastSeen);
    return reply;
}

} // namespace brell
