#include "BrellMemory/host/ArticleDelta.h"

#include <algorithm>

#include "BrellMemory/db/MemoryStore.h"
#include "BrellMemory/host/HostProtocol.h"
#include "addresses/URLSafety.h"
#include "util/Text.h"

namespace brell {

std::variant<ArticleDelta, IngestRefusal> ArticleDelta::parse(const Json& source, const Json& payload,
                                                              const std::vector<AllowedOrigin>& approved,
                                                              const MemoryConfig& limits) {
    using Refusal = IngestRefusal;
    auto url = HostProtocol::string(JsonText::member(source, "url"), 2000);
    auto canonical = url ? HostProtocol::canonicalArticleURL(*url) : std::nullopt;
    if (!canonical) {
        return Refusal::invalid("article_url");
    }
    auto origin = MemoryStore::canonicalOrigin(*canonical);
    const AllowedOrigin* allowed = nullptr;
    for (const auto& o : approved) {
        if (origin && o.origin == *origin) {
            allowed = &o;
        }
    }
    if (allowed == nullptr || allowed->muted) {
        return Refusal::disabled();
    }
    auto id = HostProtocol::string(JsonText::member(source, "id"), 2100);
    if (!id || *id != "article:" + *canonical) {
        return Refusal::invalid("article_id");
    }

    ArticleDelta delta;
    delta.key = *id;
    delta.canonical = *canonical;
    delta.origin = *origin;
    delta.indexText = allowed->indexText;
    delta.title = HostProtocol::cleanTitle(JsonText::member(source, "title"))
                      .value_or(URLSafety::displayHost(*canonical).value_or("Article"));

    // Anchors in another shape than a list count as none.
    const Json& anchorList = JsonText::member(payload, "anchors");
    if (anchorList.is_array()) {
        if (static_cast<int64_t>(anchorList.size()) > limits.maxAnchors) {
            return Refusal::invalid("anchors");
        }
        for (const auto& anchor : anchorList) {
            auto locator = JsonText::string(JsonText::member(anchor, "locator"));
            auto label = HostProtocol::string(JsonText::member(anchor, "label"), 160);
            if (!locator || !HostProtocol::locatorPattern().matches(*locator) || !label) {
                return Refusal::invalid("anchor");
            }
            delta.anchors.push_back({*locator, *label});
        }
    }

    // The page's text is read only where it may be kept; elsewhere it is not looked at.
    const Json& extraction = JsonText::member(payload, "extraction");
    if (!extraction.is_object() || !delta.indexText) {
        return delta;
    }
    const Json& list = JsonText::member(extraction, "blocks");
    if (!list.is_array() || list.size() > 400 ||
        !std::all_of(list.begin(), list.end(), [](const Json& b) { return b.is_object(); })) {
        return Refusal::invalid("blocks");
    }
    std::vector<Block> blocks;
    int64_t total = 0;
    for (const auto& block : list) {
        auto locator = JsonText::string(JsonText::member(block, "locator"));
        auto text =
            HostProtocol::string(JsonText::member(block, "text"), static_cast<std::size_t>(limits.maxArticleChars));
        if (!locator || !HostProtocol::locatorPattern().matches(*locator) || !text) {
            return Refusal::invalid("block");
        }
        total += static_cast<int64_t>(Text::characterCount(*text));
        if (total > limits.maxArticleChars) {
            return Refusal::invalid("too_much_text");
        }
        blocks.push_back({*locator, *text, HostProtocol::string(JsonText::member(block, "heading"), 200)});
    }
    delta.blocks = std::move(blocks);
    return delta;
}

} // namespace brell
