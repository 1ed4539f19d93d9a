#pragma once
// A fixture for end-to-end tests of recall: a fresh application home whose memory the
// real companion host filled from the demo's recorded sessions (a watched video with its
// transcript, and an article on an approved site), as a browser would have.
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/ISODate.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell::test {

class RecordedMemoryTest : public ::testing::Test {
protected:
    AppHome home;

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
                input += frame(replaceAll(replaceAll(line, "{{EPOCH}}", epoch), "{{NOW}}", ISODate::format(now)));
            }
        }
        ProcessOptions options;
        options.setEnv = home.env();
        options.input = input;
        auto r = run(binary("brell-memory-host"), options);
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        for (const auto& body : unframe(r.out)) {
            Json reply = Json::parse(body);
            if (reply.contains("status")) {
                ASSERT_EQ(reply["status"], "accepted") << body;
            }
        }
    }

    // Runs brell, expecting success and nothing on standard error; gives its output.
    std::string ok(std::vector<std::string> args, const std::map<std::string, std::string>& extra = {}) {
        auto r = home.brell(std::move(args), "", extra);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return r.out;
    }

    static std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
        for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
            text.replace(at, from.size(), to);
        }
        return text;
    }
};

} // namespace brell::test
