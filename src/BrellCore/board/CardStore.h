#pragma once
// The board file's owner. (The board store itself is being built; for now this holds
// only the board file's location, which the companion host needs from its start.)
#include <string>

namespace brell {

class CardStore {
public:
    // BRELL_BOARD (with "~" expanded) when set and not empty; otherwise
    // BRELL/board.json in the user's application-support folder.
    static std::string defaultURL();
};

} // namespace brell
