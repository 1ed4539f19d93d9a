#include "BrellCore/board/CardStore.h"

#include "platform/Environment.h"

namespace brell {

std::string CardStore::defaultURL() {
    if (auto board = Environment::nonEmptyValue("BRELL_BOARD")) {
        return Environment::expandTilde(*board);
    }
    return Environment::join(Environment::applicationSupportFolder(), "BRELL/board.json");
}

} // namespace brell
