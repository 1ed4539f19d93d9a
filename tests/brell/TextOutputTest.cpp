#include "brell/TextOutput.h"

#include <sstream>

#include <gtest/gtest.h>

#include "brell/PrintableBuffer.h"

namespace brell {
namespace {

TEST(TextOutputTest, PrintableRemovesEscapeSequencesAndControls) {
    struct Case {
        const char* name;
        std::string in;
        std::string want;
    };
    const Case cases[] = {
        {"plain text passes", "Straße — 東京 ✓", "Straße — 東京 ✓"},
        {"clear screen", "a\x1b[2Jb", "ab"},
        {"colour with parameters", "\x1b[1;31mred\x1b[0m", "red"},
        {"window title ended by BEL", "x\x1b]0;owned\x07y", "xy"},
        {"hyperlink ended by ST", "\x1b]8;;https://evil.example\x1b\\link\x1b]8;;\x1b\\", "link"},
        {"device control string", "a\x1bPq#0;2;0;0;0\x1b\\b", "ab"},
        {"two-character escape",
         "a\x1b"
         "cb",
         "ab"},
        {"escape at the end", "abc\x1b", "abc"},
        {"unterminated title runs to the end", "ok\x1b]0;never ends", "ok"},
        {"8-bit CSI",
         "a\xc2\x9b"
         "2Jb",
         "ab"},
        {"8-bit OSC ended by 8-bit ST",
         "a\xc2\x9d"
         "0;t\xc2\x9c"
         "b",
         "ab"},
        {"other C1 control",
         "a\xc2\x85"
         "b",
         "a b"},
        {"controls become spaces",
         "a\rb\tc\x7f"
         "d\x01",
         "a b c d "},
        {"line feeds become spaces", "one\ntwo", "one two"},
        {"ill-formed UTF-8 replaced",
         "a\xff"
         "b",
         "a\xef\xbf\xbd"
         "b"},
        {"broken CSI keeps what follows", "a\x1b[12\nb", "a b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TextOutput::printable(c.in), c.want);
    }
    EXPECT_EQ(TextOutput::printable("one\ntwo\r\n", true), "one\ntwo \n");
}

TEST(TextOutputTest, PrintJsonReplacesIllFormedUTF8) {
    std::ostringstream out;
    TextOutput::printJson(out, Json{{"path", std::string("/tmp/a\xff")}});
    EXPECT_EQ(out.str(), "{\n  \"path\": \"/tmp/a\xef\xbf\xbd\"\n}\n");
    std::ostringstream ordered;
    TextOutput::printJson(ordered, OrderedJson{{"z", 1}, {"a", std::string("\xc3")}});
    EXPECT_EQ(ordered.str(), "{\n  \"z\": 1,\n  \"a\": \"\xef\xbf\xbd\"\n}\n");
}

TEST(TextOutputTest, PrintableBufferFiltersEverythingWrittenThroughIt) {
    std::ostringstream target;
    {
        PrintableBuffer buffer(target.rdbuf());
        std::ostream out(&buffer);
        // A sequence split across writes of one line is still recognised.
        out << "Title: \x1b]0;"
            << "owned\x07"
            << " end\n";
        out << "cue \x1b["
            << "2J"
            << "\n";
        out << "no line feed at the end";
    }
    EXPECT_EQ(target.str(), "Title:  end\ncue \nno line feed at the end");
}

} // namespace
} // namespace brell
