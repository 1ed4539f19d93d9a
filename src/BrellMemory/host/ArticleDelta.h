#pragma once
// One "article.session_delta" as the host stores it: the canonical address and origin,
// the title, the sections seen and, when the origin keeps text, the page's text blocks.
// parse() reads it from the message's `source` and `payload` objects against the
// approved origins and the limits, or says which answer refuses it: "disabled" for an
// origin that is not approved (or muted), "invalid" with its reason otherwise. It
// touches nothing else. A plain value; parse() is pure and thread-safe and throws only
// std::bad_alloc.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "BrellMemory/db/MemoryConfig.h"
#include "BrellMemory/host/IngestRefusal.h"
#include "BrellMemory/store/AllowedOrigin.h"
#include "util/Json.h"

namespace brell {

struct ArticleDelta {
    struct Anchor {
        std::string locator;
        std::string label;
        bool operator==(const Anchor&) const = default;
    };
    struct Block {
        std::string locator;
        std::string text;
        std::optional<std::string> heading;
        bool operator==(const Block&) const = default;
    };

    std::string key;        // "article:" + the canonical address
    std::string canonical;  // the cleaned https address
    std::string origin;     // its approved origin
    bool indexText = false; // whether that origin keeps the page's text
    std::string title;      // the cleaned title, else the display host, else "Article"
    std::vector<Anchor> anchors;
    // The text blocks, in page order: only when the origin keeps text and the payload
    // has an "extraction" object. An empty list says nothing about the page's text.
    std::optional<std::vector<Block>> blocks;

    bool operator==(const ArticleDelta&) const = default;

    // Refusals, in the order they are checked: "article_url", disabled, "article_id",
    // "anchors", "anchor", "blocks", "block", "too_much_text".
    static std::variant<ArticleDelta, IngestRefusal> parse(const Json& source, const Json& payload,
                                                           const std::vector<AllowedOrigin>& approved,
                                                           const MemoryConfig& limits);
};

} // namespace brell
