#pragma once
// The owner of board.json for the application, the board's only writer. It loads the
// file, keeps the cards in file order for observers (the board's views), and after
// every change rewrites the whole file atomically (0600, in a folder created 0700), so
// that a reader, or a crash in the middle of a write, sees the old board or the new
// one, never a torn one. readCards() reads the same file without a store, for readers
// in other processes.
//
// Invariant: after any operation that returns without error, cards() equals what the
// file holds. A change first writes the file and only then replaces cards(); when the
// write fails the list keeps its old value. Dates are kept to the millisecond the file
// holds, and text is kept as the file holds it.
//
// The store never overwrites a board it has not read: while board.json exists and the
// store has not loaded it successfully (load() not called yet, or it failed), every
// change is refused with NotReadError. quarantineUnreadableFile() moves such a file
// aside (never over an earlier one) so that the board can start afresh.
//
// No lock of its own: use one store from one thread at a time. Observers are called on
// that thread after the list changed (never for a list equal to the old one); they must
// not throw, and may add or remove observers.
//
// Throws FileError for file failures, BoardJson::DecodeError for a file that is not a
// board (also from a change whose new text would not read back, a date outside the
// years 0000–9999 say: the file is then left as it was), NotReadError as above.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellCore/board/Card.h"
#include "BrellCore/board/Lane.h"
#include "BrellCore/board/UUID.h"
#include "util/Date.h"
#include "util/Error.h"

namespace brell {

class CardStore {
public:
    // A change refused because board.json exists and has not been read by this store.
    class NotReadError : public Error {
    public:
        explicit NotReadError(const std::string& what) : Error(what) {}
    };

    using Observer = std::function<void(const std::vector<Card>&)>;
    using ObserverID = uint64_t;

    // Reads nothing; cards() starts empty. `now` dates lane moves and set-aside files.
    explicit CardStore(std::string fileURL, Clock now = systemNowClock());

    CardStore(const CardStore&) = delete;
    CardStore& operator=(const CardStore&) = delete;

    // BRELL_BOARD (with "~" expanded) when set and not empty; otherwise
    // BRELL/board.json in the user's application-support folder.
    static std::string defaultURL();

    // The cards of the board file at `fileURL`; empty when there is no file. Keeps no
    // state; usable from any process and thread. Throws FileError when the file cannot
    // be read and BoardJson::DecodeError when it is not a board.
    static std::vector<Card> readCards(const std::string& fileURL);

    const std::string& fileURL() const { return fileURL_; }

    // Reads the file (an absent file is an empty board). On failure the error is
    // raised, cards() is left as it was and the file is not touched.
    void load();

    // Moves the current file to "board.unreadable-<UTC time, ':' as '-'>.json" in the
    // same folder (adding "-2", "-3", ... before ".json" when that name is taken),
    // empties cards() without writing, and returns the new location. When the move
    // fails the error is raised and nothing changes.
    std::string quarantineUnreadableFile();

    // The board in file order.
    const std::vector<Card>& cards() const { return cards_; }

    // The cards in `lane` that match `query` (Card::matches), newest capture first;
    // cards captured at the same time keep their file order.
    std::vector<Card> cards(Lane lane, std::string_view query) const;

    // The first card with that id.
    std::optional<Card> card(const UUID& id) const;

    // Overwrites the first card with the same id in its place, or appends the card.
    void upsert(const Card& card);

    // Removes every card with that id and returns the first; nothing is written and
    // nothing is returned when no card has it.
    std::optional<Card> deleteCard(const UUID& id);

    // Puts the card in `lane` and sets its updatedAt to now, also when it already sat
    // there. An unknown id, or a lane that does not accept the capture
    // (Capture::unavailableReason says why), changes nothing and raises nothing.
    void move(const UUID& id, Lane lane);

    // Writes an empty board.
    void clear();

    ObserverID addObserver(Observer observer);
    void removeObserver(ObserverID id);

private:
    static Clock systemNowClock();

    // Writes `list` as the whole board, then publishes what the file now holds.
    void persist(const std::vector<Card>& list);
    void publish(std::vector<Card> list);

    std::string fileURL_;
    Clock now_;
    std::vector<Card> cards_;
    bool fileIsOurs_ = false; // the file is absent or holds what this store read or wrote
    std::map<ObserverID, Observer> observers_;
    ObserverID nextObserver_ = 1;
};

} // namespace brell
