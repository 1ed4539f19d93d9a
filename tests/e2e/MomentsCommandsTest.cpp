// brell moments over a memory filled by an import, as a user runs it.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

TEST(MomentsCommandsTest, FindsTheCueAndShowsTheRequest) {
    test::TempFolder tmp;
    std::map<std::string, std::string> env = {{"BRELL_MEMORY_DB", tmp.file("Memory.sqlite")},
                                              {"BRELL_BOARD", tmp.file("board.json")}};
    auto brell = [&](std::vector<std::string> args) { return test::brell(std::move(args), env); };
    auto imported = brell({"import", "transcript", std::string(BRELL_TEST_DATA) + "/../../demo/lecture.vtt", "--video",
                           "https://www.youtube.com/watch?v=floodDemo01", "--title", "Storm surges"});
    ASSERT_EQ(imported.exitStatus, 0) << imported.err;

    auto r = brell({"moments", "the part about the Thames Barrier", "--json"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    Json passages = Json::parse(r.out);
    ASSERT_GE(passages.size(), 1u);
    EXPECT_EQ(passages[0]["location"], "00:27");
    EXPECT_EQ(passages[0]["link"], "https://www.youtube.com/watch?v=floodDemo01&t=27s#brell-at=27");
    EXPECT_EQ(passages[0]["status"], "Watch status unavailable");

    auto prompt = brell({"moments", "--prompt", "Thames Barrier"});
    ASSERT_EQ(prompt.exitStatus, 0) << prompt.err;
    Json request = Json::parse(prompt.out);
    EXPECT_EQ(request["system"].get<std::string>().rfind("You find where in the user's saved videos", 0), 0u);
    EXPECT_EQ(request["input"]["question"], "Thames Barrier");
    ASSERT_GE(request["input"]["passages"].size(), 1u);
    EXPECT_NE(request["input"]["passages"][0]["text"].get<std::string>().find("[00:27] That disaster"),
              std::string::npos);
    EXPECT_EQ(request["schema"]["required"], Json::array({"moments"}));

    EXPECT_NE(brell({"moments", "zebra"}).out.find("No remembered video"), std::string::npos);
    EXPECT_EQ(brell({"moments"}).exitStatus, 2);
}

} // namespace
} // namespace brell
