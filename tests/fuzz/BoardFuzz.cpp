// Reading a board file: any bytes as board.json, read the way every reader in another
// process reads it (CardStore::readCards), then the host's count of saved quotes.
//
// Checked: reading either gives cards or throws BoardJson::DecodeError, never anything
// else; a board that was read survives being written and read again (the store
// publishes what it wrote read back, so writing what was read must change nothing); the
// quote count never fails.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "BrellCore/board/BoardFile.h"
#include "BrellCore/board/BoardJson.h"
#include "BrellCore/board/CardStore.h"
#include "BrellMemory/host/SavedQuotes.h"
#include "FuzzSupport.h"

// libFuzzer calls this name once per input. NOLINTNEXTLINE(readability-identifier-naming)
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brell;
    using fuzz::check;
    static const std::string path = fuzz::scratchFolder() + "/board.json";
    fuzz::writeFile(path, std::string_view(reinterpret_cast<const char*>(data), size));

    int quotes = SavedQuotes::count("https://news.example.com/tides", path);
    check(quotes >= 0, "a quote count is never negative");

    std::vector<Card> cards;
    try {
        cards = CardStore::readCards(path);
    } catch (const BoardJson::DecodeError&) {
        check(quotes == 0, "an unreadable board counts no quotes");
        return 0;
    }

    std::string first = BoardFile{1, cards}.text();
    BoardFile once = BoardFile::parse(first);
    check(once.cards.size() == cards.size(), "a written board keeps every card", first);
    std::string second = BoardFile{1, once.cards}.text();
    check(second == first, "a board written, read and written again is the same text", first + "\n" + second);
    check(BoardFile::parse(second) == once, "a board written twice reads back the same cards", second);

    for (const Card& card : once.cards) {
        (void)card.matches("tide");
        (void)card.capture.lacksWebSource();
        (void)card.capture.isPageItself();
    }
    return 0;
}
