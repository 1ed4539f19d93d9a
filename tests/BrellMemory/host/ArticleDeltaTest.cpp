// Reading an article session delta into the value the host stores, before any storing.
#include "BrellMemory/host/ArticleDelta.h"

#include <gtest/gtest.h>

#include "support/ParseOutcome.h"

namespace brell {
namespace {

const std::string page = "https://news.example.com/2026/tides";
const Json articleSource = {{"id", "article:" + page}, {"url", page + "?utm_source=x"}, {"title", " Tides \n"}};

std::vector<AllowedOrigin> approved(bool indexText, bool muted = false) {
    return {{"https://other.example", true, false, 1}, {"https://news.example.com", indexText, muted, 1}};
}

Json block(const std::string& locator, const std::string& text) {
    return {{"locator", locator}, {"text", text}};
}

TEST(ArticleDeltaTest, ReadsAddressTitleAnchorsAndBlocks) {
    Json payload = {{"anchors", {{{"locator", "p1"}, {"label", " Intro "}}}},
                    {"extraction",
                     {{"blocks",
                       {{{"locator", "p1"}, {"text", " First. "}, {"heading", "Start"}},
                        {{"locator", "p2"}, {"text", "Second."}, {"heading", 5}}}}}}};
    auto parsed = ArticleDelta::parse(articleSource, payload, approved(true), MemoryConfig::defaults());
    ASSERT_EQ(test::outcome(parsed), "(accepted)");
    ArticleDelta expected;
    expected.key = "article:" + page;
    expected.canonical = page;
    expected.origin = "https://news.example.com";
    expected.indexText = true;
    expected.title = "Tides";
    expected.anchors = {{"p1", "Intro"}};
    expected.blocks = std::vector<ArticleDelta::Block>{{"p1", "First.", "Start"}, {"p2", "Second.", std::nullopt}};
    EXPECT_EQ(std::get<ArticleDelta>(parsed), expected);

    // An origin that keeps visits only: the text is not even looked at.
    Json badBlocks = {{"extraction", {{"blocks", "not a list"}}}};
    auto visitOnly = ArticleDelta::parse(articleSource, badBlocks, approved(false), MemoryConfig::defaults());
    ASSERT_EQ(test::outcome(visitOnly), "(accepted)");
    EXPECT_FALSE(std::get<ArticleDelta>(visitOnly).blocks);
    EXPECT_FALSE(std::get<ArticleDelta>(visitOnly).indexText);

    // No title: the display host; anchors of another shape count as none; no extraction, no blocks.
    Json untitled = articleSource;
    untitled.erase("title");
    auto bare = ArticleDelta::parse(untitled, {{"anchors", "p1"}}, approved(true), MemoryConfig::defaults());
    ASSERT_EQ(test::outcome(bare), "(accepted)");
    EXPECT_EQ(std::get<ArticleDelta>(bare).title, "news.example.com");
    EXPECT_TRUE(std::get<ArticleDelta>(bare).anchors.empty());
    EXPECT_FALSE(std::get<ArticleDelta>(bare).blocks);

    // An empty block list is read as it is; storing decides what it means.
    auto empty = ArticleDelta::parse(articleSource, {{"extraction", {{"blocks", Json::array()}}}}, approved(true),
                                     MemoryConfig::defaults());
    ASSERT_EQ(test::outcome(empty), "(accepted)");
    EXPECT_EQ(std::get<ArticleDelta>(empty).blocks, std::vector<ArticleDelta::Block>{});
}

TEST(ArticleDeltaTest, RefusesWithTheFirstAnswerThatApplies) {
    MemoryConfig limits = MemoryConfig::defaults();
    limits.maxAnchors = 2;
    limits.maxArticleChars = 10;
    auto source = [](const std::string& url, const std::string& id) { return Json{{"id", id}, {"url", url}}; };
    const Json good = source(page, "article:" + page);
    auto withBlocks = [](Json blocks) { return Json{{"extraction", {{"blocks", std::move(blocks)}}}}; };
    struct Case {
        const char* name;
        Json source;
        Json payload;
        std::vector<AllowedOrigin> origins;
        const char* outcome;
    } cases[] = {
        {"http address",
         source("http://news.example.com/a", "article:http://news.example.com/a"),
         {},
         approved(true),
         "article_url"},
        {"no address", Json{{"id", "article:" + page}}, {}, approved(true), "article_url"},
        {"a sign-in page",
         source("https://news.example.com/login", "article:https://news.example.com/login"),
         {},
         approved(true),
         "article_url"},
        {"origin not approved", good, {}, {}, "disabled"},
        {"origin muted", good, {}, approved(true, true), "disabled"},
        {"approval is checked before the id", source(page, "wrong"), {}, {}, "disabled"},
        {"id of another address",
         source(page, "article:https://news.example.com/other"),
         {},
         approved(true),
         "article_id"},
        {"too many anchors",
         good,
         {{"anchors",
           {{{"locator", "a"}, {"label", "A"}},
            {{"locator", "b"}, {"label", "B"}},
            {{"locator", "c"}, {"label", "C"}}}}},
         approved(true),
         "anchors"},
        {"anchor locator with a space",
         good,
         {{"anchors", {{{"locator", "a b"}, {"label", "A"}}}}},
         approved(true),
         "anchor"},
        {"anchor locator padded", good, {{"anchors", {{{"locator", " a"}, {"label", "A"}}}}}, approved(true), "anchor"},
        {"anchor without a label", good, {{"anchors", {{{"locator", "a"}}}}}, approved(true), "anchor"},
        {"anchor that is not an object", good, {{"anchors", {"a"}}}, approved(true), "anchor"},
        {"blocks missing", good, {{"extraction", Json::object()}}, approved(true), "blocks"},
        {"a block that is not an object", good, withBlocks({block("p1", "x"), "p2"}), approved(true), "blocks"},
        {"more than 400 blocks", good, withBlocks(Json(std::vector<Json>(401, block("p", "x")))), approved(true),
         "blocks"},
        {"block without text", good, withBlocks({{{"locator", "p1"}}}), approved(true), "block"},
        {"block of blank text", good, withBlocks({block("p1", " \n ")}), approved(true), "block"},
        {"block locator too long", good, withBlocks({block(std::string(201, 'a'), "x")}), approved(true), "block"},
        {"one block over the limit", good, withBlocks({block("p1", std::string(11, 'x'))}), approved(true), "block"},
        {"blocks over the limit together", good, withBlocks({block("p1", "123456"), block("p2", "12345")}),
         approved(true), "too_much_text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(test::outcome(ArticleDelta::parse(c.source, c.payload, c.origins, limits)), c.outcome);
    }
    // At the limits: two anchors, ten characters (counted as user-perceived characters).
    Json anchors = Json::array({{{"locator", "a"}, {"label", "A"}}, {{"locator", "b"}, {"label", "B"}}});
    Json blocks = Json::array({block("p1", "12345"), block("p2", "e\u0301e\u0301e\u0301e\u0301e\u0301")});
    Json atLimits = {{"anchors", anchors}, {"extraction", {{"blocks", blocks}}}};
    EXPECT_EQ(test::outcome(ArticleDelta::parse(good, atLimits, approved(true), limits)), "(accepted)");
}

} // namespace
} // namespace brell
