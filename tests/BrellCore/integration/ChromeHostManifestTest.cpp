// Repointing the browser's native-messaging manifest at the running copy's host.
#include <gtest/gtest.h>

#include "BrellCore/integration/ChromeHostManifest.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/Json.h"

namespace brell {
namespace {

class ChromeHostManifestTest : public ::testing::Test {
protected:
    test::TempFolder folder;
    std::string manifest = folder.file("NativeMessagingHosts/dev.brell.memory.json");
    const std::string host = "/Applications/BRELL.app/Contents/MacOS/brell-memory-host";
};

TEST_F(ChromeHostManifestTest, RepairsOnlyOurs) {
    struct Case {
        const char* name;
        std::optional<std::string> text;
        ManifestRepair result;
        std::optional<std::string> pathAfter; // when rewritten
    };
    const std::string ours = R"({"name":"dev.brell.memory","path":"/Volumes/BRELL/BRELL.app/Contents/MacOS/)"
                             R"(brell-memory-host","type":"stdio","allowed_origins":["chrome-extension://abc/"]})";
    const Case cases[] = {
        {"absent", std::nullopt, ManifestRepair::missing(), std::nullopt},
        {"not JSON", std::string("{\"name\""), ManifestRepair::foreign(), std::nullopt},
        {"a list", std::string(R"(["dev.brell.memory"])"), ManifestRepair::foreign(), std::nullopt},
        {"no name", std::string(R"({"path":"/x"})"), ManifestRepair::foreign(), std::nullopt},
        {"another host", std::string(R"({"name":"com.other.host","path":"/x"})"), ManifestRepair::foreign(),
         std::nullopt},
        {"already current", std::string(R"({"name":"dev.brell.memory","path":")" + host + R"("})"),
         ManifestRepair::current(), std::nullopt},
        {"moved", ours, ManifestRepair::repaired("/Volumes/BRELL/BRELL.app/Contents/MacOS/brell-memory-host"), host},
        {"without a path", std::string(R"({"name":"dev.brell.memory"})"), ManifestRepair::repaired(""), host},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileSystem::remove(manifest);
        if (c.text) {
            FileSystem::writeAtomically(manifest, *c.text);
        }
        EXPECT_EQ(ChromeHostManifest::plan(manifest, host), c.result);
        EXPECT_EQ(FileSystem::read(manifest), c.text) << "a plan writes nothing";
        EXPECT_EQ(ChromeHostManifest::repair(manifest, host), c.result);
        auto after = FileSystem::read(manifest);
        if (!c.pathAfter) {
            EXPECT_EQ(after, c.text) << "left byte for byte";
            continue;
        }
        Json expected = Json::parse(*c.text);
        expected["path"] = *c.pathAfter;
        EXPECT_EQ(Json::parse(*after), expected) << "every other key kept";
        EXPECT_NE(after->find(host), std::string::npos) << "slashes written plainly";
        EXPECT_EQ(ChromeHostManifest::repair(manifest, host), ManifestRepair::current()) << "a second run";
    }
}

TEST_F(ChromeHostManifestTest, WrittenSortedAndPretty) {
    FileSystem::writeAtomically(manifest, R"({"type":"stdio","name":"dev.brell.memory","allowed_origins":["x"]})");
    ASSERT_EQ(ChromeHostManifest::repair(manifest, "/a/b"), ManifestRepair::repaired(""));
    EXPECT_EQ(FileSystem::read(manifest), "{\n  \"allowed_origins\": [\n    \"x\"\n  ],\n  \"name\": "
                                          "\"dev.brell.memory\",\n  \"path\": \"/a/b\",\n  \"type\": \"stdio\"\n}\n");
}

TEST_F(ChromeHostManifestTest, AWriteFailureIsReported) {
    std::string longName = folder.file(std::string(240, 'm') + ".json");
    FileSystem::writeAtomically(folder.file("m.json"), R"({"name":"dev.brell.memory"})");
    FileSystem::move(folder.file("m.json"), longName);
    auto r = ChromeHostManifest::repair(longName, host);
    ASSERT_EQ(r.kind, ManifestRepair::Kind::failed) << debugText(r);
    EXPECT_TRUE(r.text.ends_with(": File name too long")) << r.text;
}

} // namespace
} // namespace brell
