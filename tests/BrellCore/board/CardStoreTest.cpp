#include "BrellCore/board/CardStore.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <random>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

#include <gtest/gtest.h>

#include "BrellCore/board/BoardFile.h"
#include "BrellCore/board/BoardJson.h"
#include "BrellCore/board/BoardSamples.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

namespace brell {

class CardStoreTest : public ::testing::Test {
protected:
    test::TempFolder folder;
    std::string path = folder.file("Library/BRELL/board.json");
    Date now = test::march1;
    CardStore store{path, [this] { return now; }};

    std::string fileText() const { return FileSystem::read(path).value_or("<absent>"); }

    void writeFile(const std::string& text) {
        FileSystem::makeFolders(FileSystem::parentFolder(path));
        FileSystem::writeAtomically(path, text);
    }

    static Card quote(int id, Lane lane, Date capturedAt, const std::string& text = "words") {
        return test::cardOf(test::quoteCapture(text, capturedAt), lane, id);
    }
};

TEST_F(CardStoreTest, AnAbsentFileIsAnEmptyBoardAndIsNotCreated) {
    store.load();
    EXPECT_TRUE(store.cards().empty());
    EXPECT_TRUE(CardStore::readCards(path).empty());
    EXPECT_FALSE(FileSystem::exists(path));
    EXPECT_FALSE(FileSystem::exists(FileSystem::parentFolder(path)));
}

TEST_F(CardStoreTest, EveryChangeRewritesTheWholeFilePrivately) {
    store.load();
    store.upsert(quote(1, Lane::evidence, now));
    EXPECT_EQ(FileSystem::permissions(path), 0600u);
    EXPECT_EQ(FileSystem::permissions(FileSystem::parentFolder(path)), 0700u);
    EXPECT_EQ(FileSystem::permissions(folder.file("Library")), 0700u);
    EXPECT_EQ(fileText(), (BoardFile{1, store.cards()}.text()));

    store.upsert(quote(2, Lane::notes, now));
    EXPECT_EQ(CardStore::readCards(path), store.cards());
    store.clear();
    EXPECT_TRUE(store.cards().empty());
    EXPECT_EQ(fileText(), "{\n  \"cards\": [],\n  \"version\": 1\n}\n");
}

TEST_F(CardStoreTest, TheListAlwaysEqualsWhatTheFileHolds) {
    store.load();
    // Sub-millisecond times and ill-formed text are kept the way the file keeps them.
    Card card = quote(1, Lane::evidence, now + 0.0004, "bad \xff");
    card.updatedAt = now + 0.0006;
    store.upsert(card);
    EXPECT_EQ(store.cards(), CardStore::readCards(path));
    EXPECT_EQ(store.cards().at(0).capture.capturedAt, now);
    EXPECT_EQ(store.cards().at(0).updatedAt, now + 0.001);
}

TEST_F(CardStoreTest, UpsertOverwritesTheFirstCardWithTheIdAndDeleteRemovesAll) {
    Card first = quote(1, Lane::evidence, now, "first");
    Card other = quote(2, Lane::evidence, now, "other");
    Card twin = quote(1, Lane::notes, now, "twin");
    writeFile(BoardFile{1, {first, other, twin}}.text());
    store.load();

    Card changed = first;
    changed.capture.text = "changed";
    store.upsert(changed);
    EXPECT_EQ(store.cards(), (std::vector<Card>{changed, other, twin}));

    Card added = quote(3, Lane::notes, now);
    store.upsert(added);
    EXPECT_EQ(store.cards().back(), added);

    EXPECT_EQ(store.deleteCard(test::sampleID(1)), changed);
    EXPECT_EQ(store.cards(), (std::vector<Card>{other, added}));
    EXPECT_EQ(CardStore::readCards(path), store.cards());
}

TEST_F(CardStoreTest, DeletingAnUnknownIdWritesNothing) {
    store.load();
    EXPECT_FALSE(store.deleteCard(test::sampleID(9)));
    EXPECT_FALSE(FileSystem::exists(path));
}

TEST_F(CardStoreTest, MoveFollowsTheLaneRules) {
    Card quoteCard = quote(1, Lane::evidence, now);
    writeFile(BoardFile{1, {quoteCard}}.text());
    store.load();
    std::string before = fileText();

    struct Case {
        const char* name;
        UUID id;
        Lane lane;
        bool changes;
    } cases[] = {
        {"a quote may not go to links", test::sampleID(1), Lane::links, false},
        {"an unknown id", test::sampleID(9), Lane::notes, false},
        {"a quote may go to notes", test::sampleID(1), Lane::notes, true},
        {"a move to the same lane still dates the card", test::sampleID(1), Lane::notes, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        now += 10;
        std::string fileBefore = fileText();
        EXPECT_NO_THROW(store.move(c.id, c.lane));
        if (!c.changes) {
            EXPECT_EQ(fileText(), fileBefore);
            continue;
        }
        ASSERT_TRUE(store.card(c.id));
        EXPECT_EQ(store.card(c.id)->lane, c.lane);
        EXPECT_EQ(store.card(c.id)->updatedAt, now);
        EXPECT_EQ(CardStore::readCards(path), store.cards());
    }
    EXPECT_NE(fileText(), before);
}

TEST_F(CardStoreTest, LaneListsAreFilteredAndNewestCaptureFirst) {
    Card old = quote(1, Lane::evidence, now - 100, "old evidence");
    Card tieA = quote(2, Lane::evidence, now, "tie a");
    Card noted = quote(3, Lane::notes, now + 50, "a note");
    Card tieB = quote(4, Lane::evidence, now, "tie b");
    Card newest = quote(5, Lane::evidence, now + 10, "newest evidence");
    writeFile(BoardFile{1, {old, tieA, noted, tieB, newest}}.text());
    store.load();
    EXPECT_EQ(store.cards(Lane::evidence, ""), (std::vector<Card>{newest, tieA, tieB, old}));
    EXPECT_EQ(store.cards(Lane::evidence, " EVIDENCE "), (std::vector<Card>{newest, old}));
    EXPECT_EQ(store.cards(Lane::notes, ""), (std::vector<Card>{noted}));
    EXPECT_TRUE(store.cards(Lane::links, "").empty());
}

TEST_F(CardStoreTest, ObserversHearOfChangesOnly) {
    writeFile(BoardFile{1, {quote(1, Lane::evidence, now)}}.text());
    std::vector<std::size_t> heard;
    auto id = store.addObserver([&heard](const std::vector<Card>& cards) { heard.push_back(cards.size()); });

    store.load();
    store.load();                                // the same list again
    store.upsert(quote(1, Lane::evidence, now)); // equal card, equal list
    store.upsert(quote(2, Lane::notes, now));
    store.move(test::sampleID(1), Lane::links); // refused
    EXPECT_EQ(heard, (std::vector<std::size_t>{1, 2}));

    store.removeObserver(id);
    store.clear();
    EXPECT_EQ(heard.size(), 2u);
}

TEST_F(CardStoreTest, AFailedWriteKeepsTheListAndTheFile) {
    store.load();
    store.upsert(quote(1, Lane::evidence, now));
    std::vector<Card> before = store.cards();
    std::string fileBefore = fileText();

    // The folder the board lives in turns into a file: creating it fails.
    CardStore elsewhere(folder.file("plain-file/board.json"));
    elsewhere.load();
    FileSystem::writeAtomically(folder.file("plain-file"), "not a folder");
    EXPECT_THROW(elsewhere.upsert(quote(1, Lane::evidence, now)), FileError);
    EXPECT_TRUE(elsewhere.cards().empty());

    // A write that runs out of room (the file size limit stands in for a full disk)
    // leaves the old board and the old list. Done in a child so the limit ends with it.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{static_cast<rlim_t>(fileBefore.size()), RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int status = 0;
        try {
            store.upsert(quote(2, Lane::evidence, now, std::string(4096, 'x')));
            status = 1;
        } catch (const FileError&) {
            status = store.cards() == before ? 0 : 2;
        }
        ::_exit(status);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the write succeeded, 2: the list changed";
    EXPECT_EQ(fileText(), fileBefore);
}

// A board is checked to read back before it replaces the file, so a card dated beyond
// what the file can hold leaves the old board and the old list.
TEST_F(CardStoreTest, ASaveThatWouldNotReadBackLeavesTheBoardAsItWas) {
    store.load();
    store.upsert(quote(1, Lane::evidence, now));
    std::vector<Card> before = store.cards();
    std::string fileBefore = fileText();

    const Date year10000 = 253402300800.0; // 10000-01-01T00:00:00Z
    for (Date date : {year10000, 253402300799.9996, -62167219200.5}) {
        SCOPED_TRACE(date);
        try {
            store.upsert(quote(2, Lane::evidence, date));
            ADD_FAILURE() << "saved";
        } catch (const BoardJson::DecodeError& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with("Unreadable date: ")) << e.what();
        }
        EXPECT_EQ(store.cards(), before);
        EXPECT_EQ(fileText(), fileBefore);
        EXPECT_EQ(CardStore::readCards(path), before);
    }
}

TEST_F(CardStoreTest, AnUnreadableFileIsNeverOverwrittenAndCanBeSetAside) {
    std::string good = BoardFile{1, {quote(1, Lane::evidence, now), quote(2, Lane::notes, now)}}.text();
    std::string badDate = good;
    badDate.replace(badDate.find("2025-03-01T09:05:07.000Z"), 24, "2025-03-01 09:05:07");
    struct Case {
        const char* name;
        std::string text;
    } cases[] = {
        {"truncated in the middle", good.substr(0, good.size() / 2)},
        {"not JSON", std::string("\x00\x01garbage", 9)},
        {"an unknown lane", R"({"version":1,"cards":[{"lane":"archive"}]})"},
        {"a bad date", badDate},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(good);
        store.load();
        std::vector<Card> loaded = store.cards();
        writeFile(c.text);

        EXPECT_THROW(store.load(), BoardJson::DecodeError);
        EXPECT_EQ(store.cards(), loaded);
        EXPECT_THROW(CardStore::readCards(path), BoardJson::DecodeError);
        // No change may replace the board that could not be read.
        EXPECT_THROW(store.upsert(quote(3, Lane::evidence, now)), CardStore::NotReadError);
        EXPECT_THROW(store.clear(), CardStore::NotReadError);
        EXPECT_EQ(fileText(), c.text);

        std::string aside = store.quarantineUnreadableFile();
        EXPECT_EQ(FileSystem::read(aside), c.text) << "the old board is kept whole";
        EXPECT_FALSE(FileSystem::exists(path));
        EXPECT_TRUE(store.cards().empty());

        store.upsert(quote(4, Lane::evidence, now));
        EXPECT_EQ(CardStore::readCards(path), store.cards());
        FileSystem::remove(aside);
    }
}

TEST_F(CardStoreTest, SetAsideFilesAreDatedAndNeverReplaceEachOther) {
    now = test::march1; // 09:05:07 UTC on 1 March 2025
    std::string folderPath = FileSystem::parentFolder(path);
    writeFile("first unreadable board");
    EXPECT_EQ(store.quarantineUnreadableFile(), folderPath + "/board.unreadable-2025-03-01T09-05-07Z.json");
    writeFile("second unreadable board");
    EXPECT_EQ(store.quarantineUnreadableFile(), folderPath + "/board.unreadable-2025-03-01T09-05-07Z-2.json");
    EXPECT_EQ(FileSystem::read(folderPath + "/board.unreadable-2025-03-01T09-05-07Z.json"), "first unreadable board");
    EXPECT_EQ(FileSystem::read(folderPath + "/board.unreadable-2025-03-01T09-05-07Z-2.json"),
              "second unreadable board");
}

TEST_F(CardStoreTest, SettingAsideAMissingFileFailsAndChangesNothing) {
    writeFile(BoardFile{1, {quote(1, Lane::evidence, now)}}.text());
    store.load();
    FileSystem::remove(path);
    EXPECT_THROW(store.quarantineUnreadableFile(), FileError);
    EXPECT_EQ(store.cards().size(), 1u);
}

TEST_F(CardStoreTest, AStoreThatHasNotReadAnExistingFileDoesNotReplaceIt) {
    std::string board = BoardFile{1, {quote(1, Lane::evidence, now)}}.text();
    writeFile(board);
    EXPECT_THROW(store.upsert(quote(2, Lane::evidence, now)), CardStore::NotReadError);
    EXPECT_EQ(fileText(), board);
    store.load();
    store.upsert(quote(2, Lane::evidence, now));
    EXPECT_EQ(CardStore::readCards(path).size(), 2u);
}

namespace {

// The names in a folder.
std::set<std::string> folderEntries(const std::string& path) {
    std::set<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            names.insert(entry->d_name);
        }
        ::closedir(dir);
    }
    return names;
}

// What a write to `path` changes: its identity, size and time.
std::tuple<ino_t, off_t, long long> fileStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {0, -1, 0};
    }
    return {st.st_ino, st.st_size, static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

// The writer of the crash test runs as its own process: this test program started
// again with BRELL_TEST_BOARD_WRITER naming the board. It loads the board, says so on
// the descriptor in BRELL_TEST_BOARD_WRITER_READY and rewrites the board until it is
// killed, before any test runs. (A fresh process rather than a fork, so that it draws
// its own temporary-file names.)
const bool boardWriterProcess = [] {
    const char* board = std::getenv("BRELL_TEST_BOARD_WRITER");
    const char* ready = std::getenv("BRELL_TEST_BOARD_WRITER_READY");
    if (board == nullptr || ready == nullptr) {
        return false;
    }
    try {
        CardStore writer(board);
        writer.load();
        char byte = 'r';
        (void)::write(std::atoi(ready), &byte, 1);
        for (std::size_t i = 0;; ++i) {
            Card card = writer.cards()[i % writer.cards().size()];
            card.capture.text = std::string(300 + i % 200, 'z');
            writer.upsert(card);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "board writer: %s\n", e.what());
    }
    ::_exit(3);
}();

} // namespace

TEST_F(CardStoreTest, KillingTheWriterMidWriteNeverLeavesAnUnreadableBoard) {
    // A large board, rewritten over and over by another process that is killed: in even
    // rounds at a random moment, in odd rounds as soon as a write shows in the folder (a
    // new file, or the board changing), so that kills land inside writes.
    ASSERT_FALSE(boardWriterProcess);
    std::vector<Card> cards;
    for (int i = 0; i < 1000; ++i) {
        cards.push_back(test::cardOf(test::quoteCapture(std::string(400, static_cast<char>('a' + i % 26)), now + i),
                                     Lane::evidence));
        cards.back().id = UUID::random();
    }
    writeFile(BoardFile{1, cards}.text());
    std::string folderPath = FileSystem::parentFolder(path);
    std::mt19937 random(12345);
    for (int round = 0; round < 16; ++round) {
        SCOPED_TRACE(round);
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        std::string readyFd = std::to_string(ready[1]);
        std::string program = test::binary("core_tests");
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            ::setenv("BRELL_TEST_BOARD_WRITER", path.c_str(), 1);
            ::setenv("BRELL_TEST_BOARD_WRITER_READY", readyFd.c_str(), 1);
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            ::_exit(4);
        }
        ::close(ready[1]);
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the writer could not load the board";
        ::close(ready[0]);
        if (round % 2 == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 600)(random)));
        } else {
            auto entries = folderEntries(folderPath);
            auto stamp = fileStamp(path);
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (folderEntries(folderPath) == entries && fileStamp(path) == stamp &&
                   std::chrono::steady_clock::now() < deadline) {
            }
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself";
        std::vector<Card> read;
        ASSERT_NO_THROW(read = CardStore::readCards(path));
        EXPECT_EQ(read.size(), cards.size());
    }
}

} // namespace brell
