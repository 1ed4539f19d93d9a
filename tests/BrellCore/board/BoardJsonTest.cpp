#include "BrellCore/board/BoardJson.h"

#include <gtest/gtest.h>

#include "BrellCore/board/BoardSamples.h"

namespace brell {
namespace {

// A card object as a person would write it: every required key, no optional one.
Json minimalCard() {
    return Json::parse(R"({
        "id": "A0000000-0000-0000-0000-000000000001",
        "lane": "evidence",
        "updatedAt": "2025-03-01T09:05:07.250Z",
        "capture": {
            "id": "a0000000-0000-0000-0000-000000000064",
            "version": 1,
            "kind": "quote",
            "text": " as selected ",
            "capturedAt": "2025-03-01T09:05:07Z",
            "source": {"title": "Clipboard", "appName": "Clipboard", "redacted": false}
        }
    })");
}

} // namespace

TEST(BoardJsonTest, ACardWithoutOptionalKeysDecodesAndEncodesWithoutThem) {
    Card card = BoardJson::decodeCard(minimalCard());
    EXPECT_FALSE(card.note);
    EXPECT_FALSE(card.hiddenFromAssistants);
    EXPECT_FALSE(card.isHiddenFromAssistants());
    EXPECT_EQ(card.capture.text, " as selected ");
    EXPECT_EQ(card.capture.source, SourceRef::clipboard());
    EXPECT_EQ(card.updatedAt, test::march1 + 0.25);
    EXPECT_EQ(card.capture.capturedAt, test::march1);

    Json again = BoardJson::encode(card);
    EXPECT_FALSE(again.contains("note"));
    EXPECT_FALSE(again.contains("hiddenFromAssistants"));
    for (const char* key : {"url", "bundleID"}) {
        EXPECT_FALSE(again["capture"]["source"].contains(key)) << key;
    }
    for (const char* key : {"targetURL", "targetTitle"}) {
        EXPECT_FALSE(again["capture"].contains(key)) << key;
    }
    EXPECT_EQ(again["id"], "A0000000-0000-0000-0000-000000000001");
    EXPECT_EQ(again["capture"]["id"], "A0000000-0000-0000-0000-000000000064");
    EXPECT_EQ(again["capture"]["capturedAt"], "2025-03-01T09:05:07.000Z");
}

TEST(BoardJsonTest, HiddenFalseIsWrittenBack) {
    Json json = minimalCard();
    json["hiddenFromAssistants"] = false;
    Card card = BoardJson::decodeCard(json);
    EXPECT_EQ(card.hiddenFromAssistants, false);
    EXPECT_EQ(BoardJson::encode(card)["hiddenFromAssistants"], false);
}

TEST(BoardJsonTest, NullOptionalsReadAsAbsent) {
    Json json = minimalCard();
    json["note"] = nullptr;
    json["capture"]["targetURL"] = nullptr;
    json["capture"]["source"]["url"] = nullptr;
    Card card = BoardJson::decodeCard(json);
    EXPECT_FALSE(card.note);
    EXPECT_FALSE(card.capture.targetURL);
    EXPECT_FALSE(card.capture.source.url);
}

TEST(BoardJsonTest, RefusesCardsThatAreNotWhollyValid) {
    struct Case {
        const char* name;
        std::function<void(Json&)> spoil;
        std::string message;
    } cases[] = {
        {"unknown kind", [](Json& j) { j["capture"]["kind"] = "video"; },
         R"(unknown capture kind at card.capture.kind: "video")"},
        {"unknown lane", [](Json& j) { j["lane"] = "archive"; }, R"(unknown lane at card.lane: "archive")"},
        {"lane in capitals", [](Json& j) { j["lane"] = "Evidence"; }, R"(unknown lane at card.lane: "Evidence")"},
        {"missing lane", [](Json& j) { j.erase("lane"); }, "missing key card.lane"},
        {"missing source", [](Json& j) { j["capture"].erase("source"); }, "missing key card.capture.source"},
        {"missing redacted", [](Json& j) { j["capture"]["source"].erase("redacted"); },
         "missing key card.capture.source.redacted"},
        {"missing version", [](Json& j) { j["capture"].erase("version"); }, "missing key card.capture.version"},
        {"version as text", [](Json& j) { j["capture"]["version"] = "1"; },
         "wrong type at card.capture.version: expected an integer"},
        {"date as number", [](Json& j) { j["updatedAt"] = 1740819907; },
         "wrong type at card.updatedAt: expected a string"},
        {"date in another form", [](Json& j) { j["capture"]["capturedAt"] = "2025-03-01 09:05:07"; },
         "Unreadable date: 2025-03-01 09:05:07"},
        {"title as number", [](Json& j) { j["capture"]["source"]["title"] = 3; },
         "wrong type at card.capture.source.title: expected a string"},
        {"optional of wrong type", [](Json& j) { j["hiddenFromAssistants"] = "yes"; },
         "wrong type at card.hiddenFromAssistants: expected a boolean"},
        {"bad id", [](Json& j) { j["id"] = "card-1"; }, R"(not a UUID at card.id: "card-1")"},
        {"note without explanation",
         [](Json& j) {
             j["note"] = {{"mode", "manual"}, {"createdAt", "2025-03-01T09:05:07Z"}};
         },
         "missing key card.note.explanation"},
        {"unknown note mode",
         [](Json& j) {
             j["note"] = {{"mode", "robot"}, {"explanation", "x"}, {"createdAt", "2025-03-01T09:05:07Z"}};
         },
         R"(unknown note mode at card.note.mode: "robot")"},
        {"source not an object", [](Json& j) { j["capture"]["source"] = "Safari"; },
         "wrong type at card.capture.source: expected an object"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Json json = minimalCard();
        c.spoil(json);
        try {
            BoardJson::decodeCard(json);
            ADD_FAILURE() << "decoded";
        } catch (const BoardJson::DecodeError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

TEST(BoardJsonTest, DatesAreMillisecondUTCTextAndReadWithOrWithoutFraction) {
    EXPECT_EQ(BoardJson::formatDate(test::march1 + 0.25), "2025-03-01T09:05:07.250Z");
    EXPECT_EQ(BoardJson::formatDate(test::march1), "2025-03-01T09:05:07.000Z");
    struct Case {
        const char* text;
        Date date;
    } cases[] = {
        {"2025-03-01T09:05:07.250Z", test::march1 + 0.25},
        {"2025-03-01T09:05:07Z", test::march1},
        {"2025-03-01T10:05:07+01:00", test::march1},
        {"2025-03-01T09:05:07.123Z", 1740819907.123},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(BoardJson::parseDate(c.text), c.date);
    }
    for (const char* bad : {"2025-03-01", "2025-03-01 09:05:07", "yesterday", "2025-02-30T09:05:07Z", ""}) {
        SCOPED_TRACE(bad);
        try {
            BoardJson::parseDate(bad);
            ADD_FAILURE() << "parsed";
        } catch (const BoardJson::DecodeError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("Unreadable date: ") + bad);
        }
    }
}

// A date whose UTC time falls outside the years 0000–9999 would be written back as
// "10000-…" or "-001-…", which nothing reads: it is the file's problem when read.
TEST(BoardJsonTest, DatesThatCouldNotBeWrittenBackAreUnreadable) {
    for (const char* bad : {"9999-12-31T23:59:59.9999Z", "0000-01-01T00:30:00+01:00", "9999-12-31T23:59:60Z",
                            "9999-12-31T23:30:00-00:31"}) {
        SCOPED_TRACE(bad);
        try {
            BoardJson::parseDate(bad);
            ADD_FAILURE() << "parsed";
        } catch (const BoardJson::DecodeError& e) {
            EXPECT_EQ(std::string(e.what()), std::string("Unreadable date: ") + bad);
        }
    }
    // The limits themselves read and write back as they were.
    for (const char* limit : {"0000-01-01T00:00:00.000Z", "9999-12-31T23:59:59.999Z"}) {
        SCOPED_TRACE(limit);
        EXPECT_EQ(BoardJson::formatDate(BoardJson::parseDate(limit)), limit);
    }
}

TEST(BoardJsonTest, EveryMillisecondDateReadsBackEqual) {
    // Dates written to the millisecond read back as the very same double.
    for (Date date : {1740819907.001, 1740819907.123, 1740819907.999, 0.5, 1e9 + 0.007, 4102444799.999}) {
        SCOPED_TRACE(date);
        EXPECT_EQ(BoardJson::parseDate(BoardJson::formatDate(date)), date);
    }
}

} // namespace brell
