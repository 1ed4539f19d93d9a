#include "BrellMemory/host/SavedQuotes.h"

#include "BrellCore/board/CardStore.h"
#include "addresses/PageIdentity.h"

namespace brell::SavedQuotes {

int count(std::string_view forPage, const std::string& boardURL) noexcept {
    try {
        auto key = PageIdentity::key(forPage);
        if (!key) {
            return 0;
        }
        int quotes = 0;
        for (const auto& card : CardStore::readCards(boardURL)) {
            const auto& capture = card.capture;
            if (capture.kind == CaptureKind::quote && capture.source.url &&
                PageIdentity::key(*capture.source.url) == key) {
                ++quotes;
            }
        }
        return quotes;
    } catch (...) {
        return 0;
    }
}

} // namespace brell::SavedQuotes
