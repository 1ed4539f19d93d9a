#include "brell/AppSettings.h"

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace brell {
namespace {

TEST(AppSettingsTest, KeepsUnknownKeysAndWritesOwnerOnly) {
    test::TempFolder tmp;
    std::string path = tmp.file("BRELL/settings.json");
    FileSystem::makeFolders(tmp.file("BRELL"));
    FileSystem::writeAtomically(path, R"({"futureKey": [1, 2], "aiProvider": "off"})");

    AppSettings settings = AppSettings::load(path);
    EXPECT_EQ(settings.string("aiProvider"), "off");
    settings.set("aiProvider", "anthropic");
    settings.set("aiModel", nullptr); // removing what is not there is fine
    settings.save();

    AppSettings again = AppSettings::load(path);
    EXPECT_EQ(again.string("aiProvider"), "anthropic");
    EXPECT_EQ(again.value("futureKey"), Json::array({1, 2}));
    EXPECT_EQ(FileSystem::permissions(path), 0600u);
}

TEST(AppSettingsTest, MalformedOrMissingFilesLoadEmpty) {
    test::TempFolder tmp;
    for (const char* text : {"", "not json", "[1]", "\"text\""}) {
        SCOPED_TRACE(text);
        FileSystem::writeAtomically(tmp.file("settings.json"), text);
        EXPECT_FALSE(AppSettings::load(tmp.file("settings.json")).value("aiProvider"));
    }
    EXPECT_FALSE(AppSettings::load(tmp.file("missing.json")).value("aiProvider"));
}

TEST(AppSettingsTest, RefusesNamesThatHoldSecrets) {
    test::TempFolder tmp;
    AppSettings settings = AppSettings::load(tmp.file("settings.json"));
    for (const char* name : {"apiKey", "ANTHROPIC_API_KEY", "authToken", "clientSecret", "password"}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(settings.set(name, "sk-123"), std::invalid_argument);
    }
    EXPECT_FALSE(settings.value("apiKey"));
}

} // namespace
} // namespace brell
