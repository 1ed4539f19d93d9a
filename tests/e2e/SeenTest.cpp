// "Seen before" through the real host and the brell seen command, over a memory the
// real host filled.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/ISODate.h"
#include "util/Json.h"

namespace brell {
namespace {

TEST(SeenTest, HostAndCommandAgreeOnAnEarlierVisit) {
    test::TempFolder tmp;
    std::map<std::string, std::string> env = {{"BRELL_MEMORY_DB", tmp.file("Memory.sqlite")},
                                              {"BRELL_BOARD", tmp.file("board.json")}};
    auto brell = [&](std::vector<std::string> args) { return test::brell(std::move(args), env); };
    ASSERT_EQ(brell({"memory", "on"}).exitStatus, 0);
    ASSERT_EQ(brell({"memory", "youtube", "on"}).exitStatus, 0);
    FileSystem::writeAtomically(tmp.file("board.json"), test::fixture("host/two-quotes.json"));

    double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    const std::string watch = "https://www.youtube.com/watch?v=dQw4w9WgXcQ";
    Json delta = {
        {"version", 1},
        {"type", "ingest"},
        {"eventId", "00000000-0000-4000-8000-000000000001"},
        {"captureEpoch", 3},
        {"observedAt", ISODate::format(now)},
        {"kind", "video.session_delta"},
        {"source", {{"id", "youtube:dQw4w9WgXcQ"}, {"url", watch}}},
        {"payload",
         {{"sessionId", "7c9e6679-7425-40de-944b-e07fc1f90ae7"}, {"activeWallMs", 30000}, {"rangesMs", {{0, 12000}}}}}};
    // A visit that started before `since`: it counts as "before" at once.
    Json seen = {{"version", 1}, {"type", "seen"}, {"url", watch}, {"since", ISODate::format(now + 60)}};
    test::ProcessOptions options;
    options.setEnv = env;
    options.input = test::frame(delta.dump()) + test::frame(seen.dump());
    auto r = test::run(test::binary("brell-memory-host"), options);
    auto replies = test::unframe(r.out);
    ASSERT_EQ(replies.size(), 2u) << r.err;
    EXPECT_EQ(Json::parse(replies[0])["status"], "accepted");
    Json answer = Json::parse(replies[1]);
    EXPECT_EQ(answer["known"], true) << answer.dump();
    EXPECT_EQ(answer["watchedSeconds"], 12);

    auto command = brell({"seen", watch, "--since", ISODate::format(now + 60), "--json"});
    ASSERT_EQ(command.exitStatus, 0) << command.err;
    Json printed = Json::parse(command.out);
    EXPECT_EQ(printed["watched"], answer["watched"]);
    // Without `since` the visit is still live, so not "before".
    EXPECT_EQ(Json::parse(brell({"seen", watch, "--json"}).out)["known"], false);
    auto refused = brell({"seen", "ftp://example.com"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.err, "brell: that is not an https web address.\n");
}

} // namespace
} // namespace brell
