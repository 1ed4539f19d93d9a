#include "BrellCore/board/UUID.h"

#include <set>

#include <gtest/gtest.h>

namespace brell {

TEST(UUIDTest, ReadsTheCanonicalFormInEitherCaseAndWritesUpperCase) {
    auto id = UUID::parse("3f2504e0-4f89-11d3-9a0c-0305e82c3301");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->text(), "3F2504E0-4F89-11D3-9A0C-0305E82C3301");
    EXPECT_EQ(UUID::parse(id->text()), id);
}

TEST(UUIDTest, RefusesEveryOtherText) {
    const char* cases[] = {
        "",
        "3F2504E04F8911D39A0C0305E82C3301",       // no dashes
        "3F2504E0-4F89-11D3-9A0C-0305E82C330",    // one digit short
        "3F2504E0-4F89-11D3-9A0C-0305E82C33011",  // one digit long
        "3F2504E0-4F89-11D3-9A0C_0305E82C3301",   // wrong separator
        "3F2504E0-4F8-911D3-9A0C-0305E82C3301",   // dash misplaced
        "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}", // braces
        "3G2504E0-4F89-11D3-9A0C-0305E82C3301",   // not hexadecimal
        " 3F2504E0-4F89-11D3-9A0C-0305E82C3301",  // leading space
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(UUID::parse(text));
    }
}

TEST(UUIDTest, RandomIdentifiersAreVersionFourAndDistinct) {
    std::set<UUID> seen;
    for (int i = 0; i < 1000; ++i) {
        UUID id = UUID::random();
        EXPECT_EQ(id.bytes()[6] >> 4, 4);
        EXPECT_EQ(id.bytes()[8] & 0xC0, 0x80);
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

} // namespace brell
