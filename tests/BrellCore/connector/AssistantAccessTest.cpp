#include "BrellCore/connector/AssistantAccess.h"

#include <gtest/gtest.h>

#include "BrellCore/board/BoardSamples.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"
#include "util/Error.h"
#include "util/Json.h"

namespace brell {
namespace {

const std::vector<Lane> allThree{Lane::links, Lane::notes, Lane::evidence};

TEST(AssistantAccessTest, TheDefaultSharesNothing) {
    AssistantAccess expected(false, allThree, false, false, true, false);
    EXPECT_EQ(AssistantAccess::defaultValue(), expected);

    test::TempFolder tmp;
    EXPECT_EQ(AssistantAccess::load(tmp.file("missing/assistant-access.json")), expected);
    EXPECT_EQ(AssistantAccess::tryLoad(tmp.file("missing/assistant-access.json")), std::nullopt);

    // A file that can't be read at all (a folder in its place) reads as the default too.
    FileSystem::makeFolders(tmp.file("folder/assistant-access.json"));
    EXPECT_EQ(AssistantAccess::load(tmp.file("folder/assistant-access.json")), expected);
}

TEST(AssistantAccessTest, DecodesRequiredKeysStrictlyAndDefaultsTheRest) {
    struct Case {
        const char* name;
        std::string text;
        std::optional<AssistantAccess> expected;
    } cases[] = {
        {"only the required keys", R"({"enabled":true,"lanes":["evidence"]})",
         AssistantAccess(true, {Lane::evidence}, false, false, true, false)},
        {"every key, order not significant",
         R"({"shareScreen":true,"lanes":["notes","links"],"shareBrells":false,"enabled":false,
             "shareVisuals":true,"shareMemory":true})",
         AssistantAccess(false, {Lane::notes, Lane::links}, true, true, false, true)},
        {"no lanes", R"({"enabled":true,"lanes":[]})", AssistantAccess(true, {}, false, false, true, false)},
        {"null switches take their default", R"({"enabled":true,"lanes":[],"shareBrells":null,"shareMemory":null})",
         AssistantAccess(true, {}, false, false, true, false)},
        {"other keys are ignored", R"({"enabled":true,"lanes":["links"],"theme":"dark"})",
         AssistantAccess(true, {Lane::links}, false, false, true, false)},
        {"an unknown lane", R"({"enabled":true,"lanes":["evidence","photos"]})", std::nullopt},
        {"a lane in another case", R"({"enabled":true,"lanes":["Evidence"]})", std::nullopt},
        {"a lane that is not a string", R"({"enabled":true,"lanes":[2]})", std::nullopt},
        {"no enabled", R"({"lanes":["evidence"]})", std::nullopt},
        {"null enabled", R"({"enabled":null,"lanes":["evidence"]})", std::nullopt},
        {"no lanes key", R"({"enabled":true})", std::nullopt},
        {"lanes not an array", R"({"enabled":true,"lanes":"evidence"})", std::nullopt},
        {"enabled as a number", R"({"enabled":1,"lanes":[]})", std::nullopt},
        {"a switch as a string", R"({"enabled":true,"lanes":[],"shareMemory":"yes"})", std::nullopt},
        {"a switch as a number", R"({"enabled":true,"lanes":[],"shareScreen":0})", std::nullopt},
        {"an array", R"([true])", std::nullopt},
        {"not JSON", R"({"enabled":true,"lanes":[)", std::nullopt},
        {"empty", "", std::nullopt},
        {"ill-formed UTF-8", "{\"enabled\":true,\"lanes\":[],\"x\":\"\xC3\"}", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AssistantAccess::decode(c.text), c.expected);
    }
}

TEST(AssistantAccessTest, AnUnreadableFileMeansSharingIsOff) {
    test::TempFolder tmp;
    std::string path = tmp.file("assistant-access.json");
    FileSystem::writeAtomically(path, R"({"enabled":true,"lanes":["evidence","secrets"],"shareMemory":true})");
    EXPECT_EQ(AssistantAccess::load(path), AssistantAccess::defaultValue());
    EXPECT_EQ(AssistantAccess::tryLoad(path), std::nullopt);
}

TEST(AssistantAccessTest, SavesOneCompactObjectOwnerOnlyAndReadsItBack) {
    test::TempFolder tmp;
    std::string path = tmp.file("Support/BRELL/assistant-access.json");
    AssistantAccess access(true, {Lane::evidence, Lane::notes}, true, false, false, true);
    access.save(path);

    EXPECT_EQ(FileSystem::read(path),
              R"({"enabled":true,"lanes":["evidence","notes"],"shareMemory":true,"shareVisuals":false,)"
              R"("shareBrells":false,"shareScreen":true})");
    EXPECT_EQ(FileSystem::permissions(path), 0600u);
    EXPECT_EQ(FileSystem::permissions(tmp.file("Support/BRELL")), 0700u);
    EXPECT_EQ(FileSystem::permissions(tmp.file("Support")), 0700u);
    EXPECT_EQ(AssistantAccess::load(path), access);

    // Saving again replaces the file whole.
    AssistantAccess::defaultValue().save(path);
    EXPECT_EQ(AssistantAccess::tryLoad(path), AssistantAccess::defaultValue());
}

TEST(AssistantAccessTest, SavingWhereNoFolderCanBeMadeThrows) {
    test::TempFolder tmp;
    FileSystem::writeAtomically(tmp.file("plain-file"), "x");
    EXPECT_THROW(AssistantAccess::defaultValue().save(tmp.file("plain-file/assistant-access.json")), FileError);
    EXPECT_EQ(FileSystem::read(tmp.file("plain-file")), "x");
}

TEST(AssistantAccessTest, TheFileSitsBesideTheBoard) {
    EXPECT_EQ(AssistantAccess::fileURL("/Users/me/Library/BRELL/board.json"),
              "/Users/me/Library/BRELL/assistant-access.json");
    EXPECT_EQ(AssistantAccess::fileURL("/tmp/custom-board.json"), "/tmp/assistant-access.json");
    EXPECT_EQ(AssistantAccess::fileURL("board.json"), "./assistant-access.json");
}

TEST(AssistantAccessTest, AllowsOnlyVisibleCardsInSharedLanesWhileEnabled) {
    const Card notes = test::cardOf(test::quoteCapture("A note"), Lane::notes);
    const Card links = test::cardOf(test::linkCapture("https://example.org/"), Lane::links);
    auto hidden = [](Card card, std::optional<bool> value) {
        card.hiddenFromAssistants = value;
        return card;
    };
    const std::vector<Lane> evidenceAndNotes{Lane::evidence, Lane::notes};
    struct Case {
        const char* name;
        bool enabled;
        std::vector<Lane> lanes;
        Card card;
        bool allowed;
    } cases[] = {
        {"shared lane, hidden absent", true, evidenceAndNotes, notes, true},
        {"shared lane, hidden false", true, evidenceAndNotes, hidden(notes, false), true},
        {"shared lane, hidden true", true, evidenceAndNotes, hidden(notes, true), false},
        {"sharing disabled", false, evidenceAndNotes, notes, false},
        {"lane not shared", true, evidenceAndNotes, links, false},
        {"no lanes at all", true, {}, notes, false},
        {"every lane", true, allThree, links, true},
        {"every lane but disabled", false, allThree, links, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AssistantAccess access(c.enabled, c.lanes, false, false, true, false);
        EXPECT_EQ(access.allows(c.card), c.allowed);
    }
}

} // namespace
} // namespace brell
