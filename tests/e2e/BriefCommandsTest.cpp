// brell brief and brell board export over a memory the real companion host filled from
// the demo's recorded sessions, and a board saved with the real brell commands.
#include <chrono>
#include <regex>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/ISODate.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

class BriefCommandsTest : public ::testing::Test {
protected:
    test::AppHome home;

    void SetUp() override {
        ok({"memory", "on"});
        ok({"memory", "youtube", "on"});
        ok({"origins", "approve", "https://oceans.example.org"});
        replay("video-session.jsonl");
        replay("article-session.jsonl");
    }

    // Feeds one recorded companion session to the host, as a browser would.
    void replay(const std::string& recording) {
        auto status = Json::parse(ok({"memory", "status", "--json"}));
        std::string epoch = std::to_string(status["epoch"].get<int64_t>());
        double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        std::string input;
        for (const std::string& line :
             Text::split(*FileSystem::read(std::string(BRELL_TEST_DATA) + "/../../demo/" + recording), '\n')) {
            if (!line.empty()) {
                input += test::frame(replaceAll(replaceAll(line, "{{EPOCH}}", epoch), "{{NOW}}", ISODate::format(now)));
            }
        }
        test::ProcessOptions options;
        options.setEnv = home.env();
        options.input = input;
        auto r = test::run(test::binary("brell-memory-host"), options);
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        for (const auto& body : test::unframe(r.out)) {
            Json reply = Json::parse(body);
            if (reply.contains("status")) {
                ASSERT_EQ(reply["status"], "accepted") << body;
            }
        }
    }

    std::string ok(std::vector<std::string> args) {
        auto r = home.brell(std::move(args));
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return r.out;
    }

    // The brief without its dated line, which changes with the minute.
    static std::string undated(const std::string& markdown) {
        return std::regex_replace(markdown, std::regex("_(Brief|Exported) from BRELL on [^\n]*\n"), "_dated_\n");
    }
};

TEST_F(BriefCommandsTest, BriefQuotesTheWatchedMomentAndTheArticle) {
    std::string brief = ok({"brief", "spring", "tides"});
    EXPECT_TRUE(std::regex_search(
        brief, std::regex("^# spring tides\n\n_Brief from BRELL on \\d{1,2} [A-Z][a-z]{2} \\d{4} at \\d\\d:\\d\\d "
                          "\u00B7 [2-6] passages from your own research_\n\n## Passages\n\n> ")))
        << brief;
    for (const char* expected : {
             "> When sun and moon line up we get spring tides, the biggest of the month.",
             "Video \u00B7 Why are there two tides a day? \u00B7 01:06 \u00B7 Played in background \u00B7 [Open at "
             "01:06](https://www.youtube.com/watch?v=tidesDemo01&t=66s#brell-at=66)",
             "> It changes through the month: spring tides bring the largest range, neap tides the smallest.",
             "Article \u00B7 A field guide to tidal range",
             "[jump to quote](https://oceans.example.org/guides/tidal-range",
         }) {
        EXPECT_NE(brief.find(expected), std::string::npos) << expected << "\n" << brief;
    }
    EXPECT_EQ(brief.find("## Answer"), std::string::npos);
    EXPECT_EQ(brief.back(), '\n');

    std::string file = home.file("out/brief.md");
    EXPECT_EQ(ok({"brief", "spring", "tides", "--out", file}), "Wrote the brief to " + file + ".\n");
    EXPECT_EQ(undated(FileSystem::read(file).value_or("")), undated(brief));
    EXPECT_EQ(FileSystem::permissions(file), 0600u);

    std::string none = ok({"brief", "zebra crossings"});
    EXPECT_NE(none.find("\u00B7 0 passages from your own research_\n"), std::string::npos) << none;
    EXPECT_EQ(none.find("## "), std::string::npos);
}

TEST_F(BriefCommandsTest, BriefRefusals) {
    auto r = home.brell({"brief", "the", "how"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err, "brell: \u201cthe how\u201d has nothing to search for: use at least one word of two or more "
                     "letters that is not a common word like \u201cthe\u201d or \u201chow\u201d.\n");
    EXPECT_EQ(home.brell({"brief"}).exitStatus, 2);

    FileSystem::makeFolders(home.file("taken"));
    r = home.brell({"brief", "tides", "--out", home.file("taken")});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.err.rfind("brell: The brief could not be written: ", 0), 0u) << r.err;
    EXPECT_TRUE(FileSystem::isFolder(home.file("taken")));
}

TEST_F(BriefCommandsTest, BoardExportWritesTheResearchBrief) {
    std::string empty = ok({"board", "export"});
    EXPECT_EQ(undated(empty), "# BRELL research brief\n\n_dated_\n");
    EXPECT_NE(empty.find(" \u00B7 0 evidence \u00B7 0 notes \u00B7 0 links_\n"), std::string::npos) << empty;

    ok({"board", "add-quote", "--text", "The second bulge is on the far side of the Earth.", "--url",
        "https://www.youtube.com/watch?v=tidesDemo01", "--title", "Why are there two tides a day?"});
    ok({"board", "add-quote", "--text", "- Spring tides: *largest* range", "--url",
        "https://oceans.example.org/guides/tidal-range", "--title", "A field guide", "--lane", "notes"});
    ok({"board", "add-link", "https://oceans.example.org/guides/tidal-range"});

    std::string brief = ok({"board", "export"});
    EXPECT_EQ(undated(brief),
              "# BRELL research brief\n"
              "\n"
              "_dated_\n"
              "\n"
              "## Evidence\n"
              "\n"
              "> The second bulge is on the far side of the Earth.\n"
              "\n"
              "Source: [Why are there two tides a day?](https://www.youtube.com/watch?v=tidesDemo01) \u00B7 [jump to "
              "quote](https://www.youtube.com/"
              "watch?v=tidesDemo01#:~:text=The%20second%20bulge%20is%20on%20the%20far%20side%20of%20the%20Earth.)\n"
              "\n"
              "## Notes\n"
              "\n"
              "> \\- Spring tides: \\*largest\\* range\n"
              "\n"
              "Source: [A field guide](https://oceans.example.org/guides/tidal-range) \u00B7 [jump to "
              "quote](https://oceans.example.org/guides/"
              "tidal-range#:~:text=%2D%20Spring%20tides%3A%20%2Alargest%2A%20range)\n"
              "\n"
              "## Links\n"
              "\n"
              "- [oceans.example.org](https://oceans.example.org/guides/tidal-range)\n");
    EXPECT_NE(brief.find(" \u00B7 1 evidence \u00B7 1 notes \u00B7 1 links_\n"), std::string::npos) << brief;

    std::string links = ok({"board", "export", "--lane", "links"});
    EXPECT_NE(links.find(" \u00B7 0 evidence \u00B7 0 notes \u00B7 1 links_\n\n## Links\n"), std::string::npos)
        << links;
    EXPECT_EQ(links.find("## Evidence"), std::string::npos);

    std::string file = home.file("brief.md");
    EXPECT_EQ(ok({"board", "export", "--out", file}), "Wrote the research brief to " + file + ".\n");
    EXPECT_EQ(undated(FileSystem::read(file).value_or("")), undated(brief));
    EXPECT_EQ(FileSystem::permissions(file), 0600u);
    EXPECT_EQ(home.brell({"board", "export", "--lane", "shelf"}).exitStatus, 2);
}

TEST_F(BriefCommandsTest, MockAnswersComeAfterTheSearchAndSayTheyAreMock) {
    const std::map<std::string, std::string> mock = {{"BRELL_MOCK_AI", "1"}};
    auto r = home.brell({"ask", "why", "are", "there", "two", "high", "tides", "--ai"}, "", mock);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    auto search = r.out.find("1. Why are there two tides a day?\n");
    auto answer = r.out.find("\nAnswer (AI \u00B7 Mock \u00B7 test mode)\nThis is a mock reply: BRELL_MOCK_AI is set, "
                             "so BRELL built it from the passages without a model.\n1. ");
    ASSERT_NE(search, std::string::npos) << r.out;
    ASSERT_NE(answer, std::string::npos) << r.out;
    EXPECT_LT(search, answer);
    EXPECT_NE(r.out.find("   \u201c", answer), std::string::npos) << r.out; // each sentence shows its quote
    EXPECT_NE(r.out.find("\nMoments\n1. ", answer), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("left out"), std::string::npos) << r.out; // a mock only says what the passages say

    r = home.brell({"ask", "spring", "tides", "--ai", "--json"}, "", mock);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    Json ai = Json::parse(r.out)["ai"];
    EXPECT_EQ(ai["mock"], true);
    EXPECT_EQ(ai["label"], "Mock \u00B7 test mode");
    EXPECT_EQ(ai["dropped"], 0);
    ASSERT_GE(ai["answer"].size(), 1u);
    for (const auto& sentence : ai["answer"]) {
        // The quote under a sentence is the passage's own words, which the sentence repeats.
        std::string quote = sentence["quote"];
        std::string text = sentence["text"];
        EXPECT_NE(quote.find(text.substr(0, 20)), std::string::npos) << sentence;
        EXPECT_FALSE(sentence["moment"]["openURL"].get<std::string>().empty()) << sentence;
    }
    EXPECT_GE(ai["moments"].size(), 1u);

    r = home.brell({"moments", "spring", "tides", "--ai"}, "", mock);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Moments (AI \u00B7 Mock \u00B7 test mode)\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("   Mentions \u201cspring\u201d, \u201ctides\u201d"), std::string::npos) << r.out;

    r = home.brell({"brief", "spring", "tides", "--ai"}, "", mock);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("\n## Answer (AI \u00B7 Mock \u00B7 test mode)\n\n_The sentences were written by AI from the "
                         "passages below. The quotes are exact words from your sources._\n\n1. "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\n   > "), std::string::npos) << r.out;
}

TEST_F(BriefCommandsTest, AFailedModelLeavesWhatSearchFound) {
    auto r = home.brell({"ask", "spring", "tides", "--ai"});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.out.find("1. "), std::string::npos) << r.out; // the sources came first
    EXPECT_EQ(r.out.find("Answer (AI"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.rfind("brell: ", 0), 0u) << r.err;

    std::string file = home.file("brief.md");
    r = home.brell({"brief", "spring", "tides", "--ai", "--out", file});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(FileSystem::read(file).value_or("").find("\n## Passages\n"), std::string::npos);
}

} // namespace
} // namespace brell
