#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "BrellMemory/visual/VisualFixture.h"
#include "platform/FileSystem.h"
#include "util/Text.h"

namespace brell {
namespace {

using Strings = std::vector<std::string>;
using Value = SQLiteDB::Value;

class VisualSessionTest : public ::testing::Test, protected test::VisualMemory {};

TEST_F(VisualSessionTest, BeginningStoresTheWindowOrRefusesAnExcludedApp) {
    EXPECT_FALSE(store.beginVisualSession("com.1password.1password", "1Password", "Vault", std::nullopt));
    store.setExtraExcludedApps({"com.example.secret"});
    EXPECT_FALSE(store.beginVisualSession("com.example.secret", "Secret", "", std::nullopt));
    EXPECT_EQ(count("visual_session"), 0);

    std::string longTitle(350, 'x');
    auto id = store.beginVisualSession("com.figma.Desktop", "Figma", longTitle, std::string(""));
    ASSERT_TRUE(id);
    auto s = store.visualSession(*id);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->windowTitle, std::string(300, 'x'));
    EXPECT_EQ(s->url, std::nullopt); // an empty address is none
    EXPECT_EQ(s->startedAt, clock);
    EXPECT_EQ(s->endedAt, clock);
    EXPECT_EQ(s->frameCount, 0);
    EXPECT_EQ(s->label(), "Figma \u2014 " + longTitle.substr(0, 300));
    EXPECT_FALSE(FileSystem::exists(visual())); // no folder before the first picture
}

TEST_F(VisualSessionTest, AFrameIsAFileWithOwnerOnlyPermissionsAndARow) {
    EXPECT_FALSE(store.addVisualFrame(99, test::tinyJpeg(), std::nullopt));
    EXPECT_FALSE(FileSystem::exists(visual())); // an unknown session writes nothing

    int64_t id = begin();
    VisualFrame first = add(id);
    VisualFrame second = add(id);
    EXPECT_EQ(first.file, "000001.jpg");
    EXPECT_EQ(second.file, "000002.jpg");
    EXPECT_EQ(second.sessionID, id);
    EXPECT_EQ(second.at, clock);
    EXPECT_FALSE(second.starred);
    EXPECT_EQ(store.visualURL(second), visual() + "/" + std::to_string(id) + "/000002.jpg");
    EXPECT_EQ(FileSystem::read(store.visualURL(first)), test::tinyJpeg(1));
    EXPECT_EQ(FileSystem::read(store.visualURL(second)), test::tinyJpeg(2));
    EXPECT_EQ(test::mode(visual()), 0700u);
    EXPECT_EQ(test::mode(visual() + "/" + std::to_string(id)), 0700u);
    EXPECT_EQ(test::mode(store.visualURL(first)), 0600u);
    EXPECT_EQ(store.visualSession(id)->endedAt, clock);
    EXPECT_EQ(store.visualFrames(id), (std::vector<VisualFrame>{first, second}));
    EXPECT_EQ(files(), rows());

    // A number is never given twice, also after the newest frame was deleted: its
    // picture may still be on its way out.
    store.deleteVisualFrame(second.id);
    EXPECT_EQ(add(id).file, "000003.jpg");
}

TEST_F(VisualSessionTest, AFrameWhosePictureCannotBeWrittenLeavesNoRow) {
    int64_t id = begin();
    add(id);
    // A file where the session's folder belongs makes the folder impossible to create.
    FolderTree::removeAll(visual() + "/" + std::to_string(id));
    FileSystem::writeAtomically(visual() + "/" + std::to_string(id), "in the way");
    EXPECT_THROW(store.addVisualFrame(id, test::tinyJpeg(), std::string("text line")), FileError);
    EXPECT_EQ(count("visual_frame"), 1);
    EXPECT_EQ(store.visualSession(id)->text, "");
}

TEST_F(VisualSessionTest, ADatabaseFailureAfterThePictureRemovesThePicture) {
    int64_t id = session(1);
    Strings before = files();
    failOn("INSERT", "visual_frame");
    EXPECT_THROW(store.addVisualFrame(id, test::tinyJpeg(), std::nullopt), SQLiteDB::DBError);
    EXPECT_EQ(files(), before);
    EXPECT_EQ(rows(), before);
}

TEST_F(VisualSessionTest, WindowTextMergesDistinctLines) {
    struct Case {
        const char* name;
        std::string start;
        std::string added;
        std::string expected;
    };
    std::string nearlyFull(7995, 'a');
    std::string full(7999, 'a');
    const Case cases[] = {
        {"first text", "", "Viewport\nOK\n\n  Render settings\t\n", "Viewport\nRender settings"},
        {"a line already there is not added twice", "Viewport", " Viewport\t\nOutliner", "Viewport\nOutliner"},
        {"repeats within the new text", "", "Layers\nLayers\nLayers", "Layers"},
        {"two characters are never added", "", "OK\nab\nabc", "abc"},
        {"carriage returns break lines", "", "Scene\r\nCamera", "Scene\nCamera"},
        {"merging stops past 7,999 and keeps 8,000", nearlyFull, "bbbbbbbb\ncccc", nearlyFull + "\n" + "bbbb"},
        {"a text of 7,999 characters still takes lines", full, "zzz", full.substr(0, 7999) + "\n"},
        {"a full text takes nothing", std::string(8000, 'a'), "zzz", std::string(8000, 'a')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int64_t id = begin();
        store.db.run("UPDATE visual_session SET text = ? WHERE id = ?", {Value(c.start), Value(id)});
        add(id, c.added);
        EXPECT_EQ(store.visualSession(id)->text, c.expected);
    }
}

TEST_F(VisualSessionTest, EndingKeepsASessionWithFramesAndDiscardsOneWithout) {
    int64_t empty = begin();
    EXPECT_FALSE(store.endVisualSession(empty));
    EXPECT_FALSE(store.visualSession(empty));

    int64_t id = session(2);
    Date last = clock;
    clock += 100;
    auto ended = store.endVisualSession(id);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->frameCount, 2);
    EXPECT_EQ(ended->endedAt, last); // the time of the last frame, not of ending
    EXPECT_FALSE(store.endVisualSession(12345));
}

TEST_F(VisualSessionTest, ListingShowsSessionsWithFramesNewestFirst) {
    int64_t older = session(1, "Blender");
    begin("Figma"); // no frames: hidden
    int64_t newer = session(2, "Preview");
    auto sessions = store.visualSessions(10);
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0].id, newer);
    EXPECT_EQ(sessions[0].frameCount, 2);
    EXPECT_EQ(sessions[1].id, older);
    // The frameless session counts against the limit: fewer may come back.
    EXPECT_EQ(store.visualSessions(2).size(), 1u);
}

TEST_F(VisualSessionTest, SharedFramesAreTheStarredOnesOrASpread) {
    struct Case {
        const char* name;
        std::vector<int> starred; // indexes of starred frames among 20
        std::vector<int> shared;  // indexes shared
    };
    const Case cases[] = {
        {"none starred: spread", {}, {0, 3, 5, 8, 11, 14, 16, 19}},
        {"one starred", {7}, {7}},
        {"twelve starred", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 19}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 19}},
        {"thirteen starred: the first twelve in time",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 19},
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int64_t id = session(20);
        auto frames = store.visualFrames(id);
        for (int i : c.starred) {
            store.setVisualFrameStarred(frames[static_cast<std::size_t>(i)].id, true);
        }
        std::vector<int64_t> expected;
        for (int i : c.shared) {
            expected.push_back(frames[static_cast<std::size_t>(i)].id);
        }
        std::vector<int64_t> shared;
        for (const auto& f : store.sharedVisualFrames(id)) {
            shared.push_back(f.id);
        }
        EXPECT_EQ(shared, expected);
        auto summary = store.visualSummary(*store.visualSession(id));
        EXPECT_EQ(summary.frames, 20);
        EXPECT_EQ(summary.sharedFrames, static_cast<int64_t>(expected.size()));
        EXPECT_EQ(summary.userPicked, !c.starred.empty());
    }
    EXPECT_TRUE(store.sharedVisualFrames(98765).empty());
}

TEST_F(VisualSessionTest, SearchRanksByOriginalThenExpandedTermsThenNewest) {
    int64_t titleOnly = session(1, "Blender", "pricing chart");
    int64_t both = session(1, "Numbers", "quarterly pricing");
    store.setVisualNote(both, "the chart of the pricing tiers");
    int64_t older = session(1, "Keynote", "chart");
    clock += 10;
    int64_t newer = session(1, "Pages", "chart");
    session(1, "Mail", "nothing relevant");

    auto ids = [](const std::vector<VisualSession>& sessions) {
        std::vector<int64_t> out;
        for (const auto& s : sessions) {
            out.push_back(s.id);
        }
        return out;
    };
    // "pricing chart": two sessions match both words; of one-word matches, newest first.
    auto found = ids(store.searchVisual("pricing chart", 10));
    ASSERT_EQ(found.size(), 4u);
    EXPECT_EQ(found[2], newer);
    EXPECT_EQ(found[3], older);
    EXPECT_TRUE((found[0] == both && found[1] == titleOnly) || (found[0] == titleOnly && found[1] == both));
    EXPECT_EQ(ids(store.searchVisual("pricing chart", 1)).size(), 1u);
    EXPECT_TRUE(store.searchVisual("the of and", 10).empty()); // no terms
    EXPECT_TRUE(store.searchVisual("volcano", 10).empty());
}

TEST_F(VisualSessionTest, NoteIsTrimmedAndCut) {
    int64_t id = session(1);
    store.setVisualNote(id, "\n  " + std::string(600, 'n') + "  \n");
    EXPECT_EQ(store.visualSession(id)->note, std::string(500, 'n'));
    store.setVisualNote(id, "  ");
    EXPECT_EQ(store.visualSession(id)->note, "");
}

TEST_F(VisualSessionTest, DeletingFramesAndSessionsRemovesTheirFiles) {
    int64_t a = session(2);
    int64_t b = session(1);
    auto framesA = store.visualFrames(a);

    store.deleteVisualFrame(framesA[0].id);
    EXPECT_FALSE(FileSystem::exists(store.visualURL(framesA[0])));
    EXPECT_TRUE(store.visualSession(a));
    EXPECT_EQ(files(), rows());

    store.deleteVisualFrame(framesA[1].id); // the last: the session and its folder go
    EXPECT_FALSE(store.visualSession(a));
    EXPECT_EQ(folders(), (Strings{std::to_string(b)}));
    EXPECT_EQ(files(), rows());
    store.deleteVisualFrame(framesA[1].id); // gone already: nothing happens

    FolderTree::removeAll(visual() + "/" + std::to_string(b)); // removed by hand
    store.deleteVisualSession(b);
    EXPECT_FALSE(store.visualSession(b));
    EXPECT_EQ(count("visual_frame"), 0);
}

// Every removal is one transaction: a failing statement leaves rows and pictures as
// they were, because pictures go only after the commit.
TEST_F(VisualSessionTest, AFailureInsideARemovalChangesNeitherRowsNorFiles) {
    struct Case {
        const char* name;
        const char* event;
        const char* table;
        std::function<void(MemoryStore&, int64_t session, int64_t frame)> act;
    };
    const Case cases[] = {
        {"deleting the last frame", "DELETE", "visual_session",
         [](MemoryStore& s, int64_t, int64_t frame) { s.deleteVisualFrame(frame); }},
        {"deleting a session", "DELETE", "visual_session",
         [](MemoryStore& s, int64_t session, int64_t) { s.deleteVisualSession(session); }},
        {"purging", "DELETE", "visual_session", [](MemoryStore& s, int64_t, int64_t) { s.purgeVisual(4e9); }},
        {"clearing", "DELETE", "visual_session", [](MemoryStore& s, int64_t, int64_t) { s.clearVisualMemory(); }},
        {"ending without frames", "DELETE", "visual_session",
         [](MemoryStore& s, int64_t, int64_t) {
             auto empty = s.beginVisualSession("org.example", "Example", "", std::nullopt);
             s.endVisualSession(*empty);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::VisualMemory m;
        int64_t id = m.session(1);
        int64_t frame = m.store.visualFrames(id)[0].id;
        Strings files = m.files();
        m.failOn(c.event, c.table);
        EXPECT_THROW(c.act(m.store, id, frame), SQLiteDB::DBError);
        EXPECT_EQ(m.files(), files);
        EXPECT_EQ(m.rows(), files);
        EXPECT_TRUE(m.store.visualSession(id));
    }
}

TEST_F(VisualSessionTest, PurgingAndClearingRemoveRowsAndPictures) {
    int64_t old = session(1);
    clock += 1000;
    Date cut = clock;
    int64_t recent = session(2);
    EXPECT_EQ(store.purgeVisual(cut), 1);
    EXPECT_FALSE(store.visualSession(old));
    EXPECT_EQ(folders(), (Strings{std::to_string(recent)}));
    EXPECT_EQ(files(), rows());

    store.clearVisualMemory();
    EXPECT_EQ(count("visual_session"), 0);
    EXPECT_EQ(count("visual_frame"), 0);
    EXPECT_TRUE(files().empty());
    // Ids are never given again.
    EXPECT_GT(begin(), recent);
}

TEST_F(VisualSessionTest, APurgeSweepsPicturesACrashLeftWithoutRows) {
    int64_t gone = session(2);
    int64_t kept = session(2);
    auto keptFrames = store.visualFrames(kept);
    // A crash after the commit that deleted these rows, before their files went.
    store.db.run("DELETE FROM visual_frame WHERE session_id = ?", {Value(gone)});
    store.db.run("DELETE FROM visual_session WHERE id = ?", {Value(gone)});
    store.db.run("DELETE FROM visual_frame WHERE id = ?", {Value(keptFrames[0].id)});
    // A picture written a moment ago without a row yet may be another process's
    // frame being added: it stays until it is old.
    std::string young = visual() + "/" + std::to_string(kept) + "/000099.jpg";
    FileSystem::writeAtomically(young, test::tinyJpeg());
    std::string oldPicture = store.visualURL(keptFrames[0]);
    struct timespec times[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, oldPicture.c_str(), times, 0), 0);
    // Folders that are not session ids are not the purge's to judge.
    FileSystem::makeFolders(visual() + "/notes", 0700);

    auto result = store.purgeExpired();
    EXPECT_EQ(result.orphans, 2);
    EXPECT_EQ(folders(), (Strings{std::to_string(kept), "notes"}));
    EXPECT_EQ(files(), (Strings{rows()[0], std::to_string(kept) + "/000099.jpg"}));
}

TEST_F(VisualSessionTest, TheConnectorGetsSummariesAndPictures) {
    int64_t id = session(3, "Blender", "model.blend");
    store.setVisualNote(id, "the wing");
    auto frames = store.visualFrames(id);
    store.setVisualFrameStarred(frames[2].id, true);
    store.setVisualFrameStarred(frames[0].id, true);

    auto summaries = store.visualSummaries("  ", 10);
    ASSERT_EQ(summaries.size(), 1u);
    EXPECT_EQ(summaries[0],
              (VisualSummary{id, "Blender", "model.blend", "the wing", frames[0].at - 1, frames[2].at, 3, 2, true}));
    EXPECT_EQ(store.visualSummaries("wing", 10).size(), 1u);
    EXPECT_TRUE(store.visualSummaries("volcano", 10).empty());

    FileSystem::remove(store.visualURL(frames[0])); // a picture gone is left out
    auto pictures = store.visualPictures(id);
    ASSERT_TRUE(pictures);
    EXPECT_EQ(pictures->first.id, id);
    ASSERT_EQ(pictures->second.size(), 1u);
    std::string jpeg = test::tinyJpeg(3);
    EXPECT_EQ(pictures->second[0], (VisualPicture{frames[2].at, std::vector<uint8_t>(jpeg.begin(), jpeg.end())}));
    EXPECT_FALSE(store.visualPictures(id + 100));
}

TEST(VisualChunkTest, ASessionAsARecallPassage) {
    VisualSession s;
    s.id = 42;
    s.startedAt = 1'800'000'000;
    s.appName = "Blender";
    s.windowTitle = "wing.blend";
    s.url = "https://example.com/model";
    s.note = "the wing";
    s.text = "Viewport\nModifiers";
    ChunkRecord c = ChunkRecord::visual(s);
    EXPECT_EQ(c.id, -2'000'042);
    EXPECT_EQ(c.sourceID, -2'000'042);
    EXPECT_EQ(c.sourceKey, "visual:42");
    EXPECT_EQ(c.sourceKind, "visual");
    EXPECT_EQ(c.sourceTitle, "Blender \u2014 wing.blend");
    EXPECT_EQ(c.sourceURL, "https://example.com/model");
    EXPECT_EQ(c.kind, "visual");
    EXPECT_EQ(c.text, "the wing\nViewport\nModifiers");
    EXPECT_EQ(c.locator, "v=42");
    EXPECT_EQ(c.provenance, "captured");
    EXPECT_EQ(c.retrievedAt, s.startedAt);
    EXPECT_FALSE(c.heading);
    EXPECT_EQ(c.visualSessionID(), 42);

    s.note = "";
    EXPECT_EQ(ChunkRecord::visual(s).text, "Viewport\nModifiers");

    struct Case {
        const char* name;
        std::string kind;
        std::string key;
        std::optional<int64_t> expected;
    };
    const Case cases[] = {
        {"visual", "visual", "visual:7", 7},
        {"screen passage", "screen", "visual:7", std::nullopt},
        {"not a number", "visual", "visual:7a", std::nullopt},
        {"nothing after the prefix", "visual", "visual:", std::nullopt},
        {"another prefix", "visual", "screen:7", std::nullopt},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        ChunkRecord chunk;
        chunk.kind = k.kind;
        chunk.sourceKey = k.key;
        EXPECT_EQ(chunk.visualSessionID(), k.expected);
    }
}

TEST(VisualMemoryInRAM, HasNoFolderAndNeverTouchesOne) {
    MemoryStore store(":memory:");
    EXPECT_EQ(store.visualDirectory(), "");
    auto id = store.beginVisualSession("org.example", "Example", "", std::nullopt);
    ASSERT_TRUE(id);
    EXPECT_THROW(store.addVisualFrame(*id, test::tinyJpeg(), std::nullopt), FileError);
    EXPECT_EQ(store.visualFrames(*id).size(), 0u);
    store.clearVisualMemory();
    EXPECT_FALSE(store.visualSession(*id));
}

} // namespace
} // namespace brell
