// Reading the system's own shortcuts from its symbolic hot-key dictionary.
#include <gtest/gtest.h>

#include "BrellCore/shortcuts/KeyCode.h"
#include "BrellCore/shortcuts/SymbolicHotKeys.h"

namespace brell {
namespace {

TEST(SymbolicHotKeysTest, FromCocoaKeepsTheFourModifierBits) {
    EXPECT_EQ(SymbolicHotKeys::fromCocoa(0x20000), KeyModifiers::shift());
    EXPECT_EQ(SymbolicHotKeys::fromCocoa(0x40000), KeyModifiers::control());
    EXPECT_EQ(SymbolicHotKeys::fromCocoa(0x80000), KeyModifiers::option());
    EXPECT_EQ(SymbolicHotKeys::fromCocoa(0x100000), KeyModifiers::command());
    EXPECT_EQ(SymbolicHotKeys::fromCocoa(0x1E0000), KeyModifiers::all());
    EXPECT_EQ(SymbolicHotKeys::fromCocoa(0x800000 | 0x10000 | 0xFFFF | (1ull << 40)), KeyModifiers());
}

TEST(SymbolicHotKeysTest, KeepsOnlyEnabledEntriesWithAUsableKey) {
    Json dictionary = Json::parse(R"({
        "60": {"enabled": true, "value": {"parameters": [32, 49, 262144], "type": "standard"}},
        "64": {"enabled": 1, "value": {"parameters": [65535, 49, 1048576]}},
        "65": {"enabled": false, "value": {"parameters": [65535, 49, 1572864]}},
        "28": {"value": {"parameters": [51, 20, 1179648]}},
        "10": {"enabled": true, "value": {"parameters": [65535, 65535, 0]}},
        "11": {"enabled": true, "value": {"parameters": [65535, 10, 1048576]}},
        "12": {"enabled": true, "value": {"parameters": [65535, 96]}},
        "13": {"enabled": true, "value": {"parameters": [65535, -1, 1048576]}},
        "14": {"enabled": true, "value": {"parameters": [65535, 4294967297, 1048576]}},
        "15": {"enabled": true, "value": {"parameters": [65535, 96, -5]}},
        "16": {"enabled": true, "value": {"parameters": [65535, "96", 1048576]}},
        "17": {"enabled": true, "value": {"parameters": [65535, 96.5, 1048576]}},
        "18": {"enabled": true, "value": {"parameters": {"a": 1}}},
        "19": {"enabled": true, "value": [65535, 96, 1048576]},
        "20": {"enabled": "yes", "value": {"parameters": [65535, 96, 1048576]}},
        "21": {"enabled": 2, "value": {"parameters": [65535, 96, 1048576]}},
        "22": [1, 2, 3],
        "23": {"enabled": true, "value": {"parameters": [65535, 54, 1048576]}},
        "24": {"enabled": true, "value": {"parameters": [65535, 99.0, 18446744073709551615]}}
    })");
    auto found = SymbolicHotKeys::enabled(dictionary);
    std::set<std::string> shown;
    for (const auto& s : found) {
        shown.insert(s.display());
    }
    EXPECT_EQ(shown, (std::set<std::string>{"\u2303Space", "\u2318Space", "\u2303\u2325\u21E7\u2318F3"}));
    EXPECT_EQ(found.size(), 3u);

    EXPECT_TRUE(SymbolicHotKeys::enabled(Json::array()).empty());
    EXPECT_TRUE(SymbolicHotKeys::enabled(Json("text")).empty());
    EXPECT_TRUE(SymbolicHotKeys::enabled(Json::object()).empty());
}

} // namespace
} // namespace brell
