#include "BrellCore/board/CardStore.h"

#include <algorithm>
#include <utility>

#include "BrellCore/board/BoardFile.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/SystemClock.h"
#include "util/ISODate.h"

namespace brell {

CardStore::CardStore(std::string fileURL, Clock now) : fileURL_(std::move(fileURL)), now_(std::move(now)) {}

Clock CardStore::systemNowClock() {
    return [] { return systemNow(); };
}

std::string CardStore::defaultURL() {
    if (auto board = Environment::nonEmptyValue("BRELL_BOARD")) {
        return Environment::expandTilde(*board);
    }
    return Environment::join(Environment::applicationSupportFolder(), "BRELL/board.json");
}

std::vector<Card> CardStore::readCards(const std::string& fileURL) {
    auto bytes = FileSystem::read(fileURL);
    if (!bytes) {
        return {};
    }
    return BoardFile::parse(*bytes).cards;
}

void CardStore::load() {
    fileIsOurs_ = false;
    std::vector<Card> loaded = readCards(fileURL_);
    fileIsOurs_ = true;
    publish(std::move(loaded));
}

std::string CardStore::quarantineUnreadableFile() {
    std::string stamp = ISODate::format(now_(), false);
    std::replace(stamp.begin(), stamp.end(), ':', '-');
    std::string base = Environment::join(FileSystem::parentFolder(fileURL_), "board.unreadable-" + stamp);
    // An earlier board set aside in the same second keeps its name.
    std::string target = base + ".json";
    for (int n = 2; FileSystem::exists(target); ++n) {
        target = base + "-" + std::to_string(n) + ".json";
    }
    FileSystem::move(fileURL_, target);
    fileIsOurs_ = true;
    publish({});
    return target;
}

std::vector<Card> CardStore::cards(Lane lane, std::string_view query) const {
    std::vector<Card> found;
    for (const Card& card : cards_) {
        if (card.lane == lane && card.matches(query)) {
            found.push_back(card);
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Card& a, const Card& b) { return a.capture.capturedAt > b.capture.capturedAt; });
    return found;
}

std::optional<Card> CardStore::card(const UUID& id) const {
    auto it = std::find_if(cards_.begin(), cards_.end(), [&id](const Card& card) { return card.id == id; });
    if (it == cards_.end()) {
        return std::nullopt;
    }
    return *it;
}

void CardStore::upsert(const Card& card) {
    std::vector<Card> list = cards_;
    auto it = std::find_if(list.begin(), list.end(), [&card](const Card& c) { return c.id == card.id; });
    if (it != list.end()) {
        *it = card;
    } else {
        list.push_back(card);
    }
    persist(list);
}

std::optional<Card> CardStore::deleteCard(const UUID& id) {
    std::optional<Card> first = card(id);
    if (!first) {
        return std::nullopt;
    }
    std::vector<Card> list;
    list.reserve(cards_.size());
    std::copy_if(cards_.begin(), cards_.end(), std::back_inserter(list), [&id](const Card& c) { return c.id != id; });
    persist(list);
    return first;
}

void CardStore::move(const UUID& id, Lane lane) {
    std::optional<Card> found = card(id);
    if (!found || !found->capture.accepts(lane)) {
        return;
    }
    found->lane = lane;
    found->updatedAt = now_();
    upsert(*found);
}

void CardStore::clear() {
    persist({});
}

CardStore::ObserverID CardStore::addObserver(Observer observer) {
    ObserverID id = nextObserver_++;
    observers_.emplace(id, std::move(observer));
    return id;
}

void CardStore::removeObserver(ObserverID id) {
    observers_.erase(id);
}

void CardStore::persist(const std::vector<Card>& list) {
    if (!fileIsOurs_ && FileSystem::exists(fileURL_)) {
        throw NotReadError("failed to change the board: " + fileURL_ +
                           " has not been read successfully, so it is kept as it is");
    }
    FileSystem::makeFolders(FileSystem::parentFolder(fileURL_), 0700);
    std::string text = BoardFile{1, list}.text();
    // Read the new text back before it replaces the file: a board that could not be
    // read again must never take the place of one that can.
    std::vector<Card> written = BoardFile::parse(text).cards;
    FileSystem::writeAtomically(fileURL_, text);
    try {
        FileSystem::setPermissions(fileURL_, 0600);
    } catch (const FileError&) {
        // The temporary file was created 0600 already; nothing more to do.
    }
    fileIsOurs_ = true;
    // What the file holds: dates to the millisecond, text as written.
    publish(std::move(written));
}

void CardStore::publish(std::vector<Card> list) {
    if (list == cards_) {
        return;
    }
    cards_ = std::move(list);
    // A copy, so that an observer may add or remove observers.
    auto observers = observers_;
    for (const auto& [id, observer] : observers) {
        observer(cards_);
    }
}

} // namespace brell
