#include "brell/AppContext.h"

#include <unistd.h>

#include "BrellCore/board/CardStore.h"
#include "BrellMemory/db/MemoryStore.h"

namespace brell {

AppContext::AppContext(std::ostream& out, std::ostream& err, std::ostream& progress)
    : out(out), err(err), progress(progress) {}

bool AppContext::progressIsTerminal() const {
    return isatty(STDERR_FILENO) == 1;
}

AppContext::~AppContext() = default;

MemoryStore& AppContext::memory() {
    if (!memory_) {
        try {
            memory_ = std::make_unique<MemoryStore>(memoryPath());
        } catch (const std::exception& e) {
            throw CommandError("could not open the memory at " + memoryPath() + " (" + e.what() +
                               "); check that the folder is writable or set BRELL_MEMORY_DB.");
        }
        if (purgeWhenDue) {
            try {
                auto last = memory_->lastPurge();
                Date now = memory_->now();
                // A last purge in the future means the clock was set back: purge too.
                if (!last || now - *last > 86400 || *last > now) {
                    memory_->purgeExpired();
                }
            } catch (const std::exception&) {
                // A busy or unreadable memory is purged on a later run.
            }
        }
    }
    return *memory_;
}

std::string AppContext::memoryPath() const {
    return MemoryStore::defaultPath();
}

std::string AppContext::boardPath() const {
    return CardStore::defaultURL();
}

} // namespace brell
