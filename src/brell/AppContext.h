#pragma once
// What every brell command shares: the output streams, the locations of the memory and
// the board, and the memory store, opened on first use and kept for the command's life.
// One per run of the application; not thread-safe.
#include <iosfwd>
#include <memory>
#include <string>

#include "util/Error.h"

namespace brell {

class MemoryStore;

// A failure the user can act on: one sentence, shown on standard error, exit status 1.
class CommandError : public Error {
public:
    explicit CommandError(const std::string& sentence) : Error(sentence) {}
};

class AppContext {
public:
    // `out` and `err` are what commands print to; the application hands in streams that
    // pass through the printable-text filter (PrintableBuffer). `progress` is the raw
    // standard error, for the waiting and progress lines shown on a terminal only
    // (they rewrite their line with a carriage return, which the filter would remove);
    // never print remembered text to it.
    AppContext(std::ostream& out, std::ostream& err, std::ostream& progress);
    ~AppContext();

    std::ostream& out;
    std::ostream& err;
    std::ostream& progress;
    // Whether standard error is a terminal, so progress may be shown.
    bool progressIsTerminal() const;

    // The memory database (BRELL_MEMORY_DB or the default path), opened and migrated.
    // With `purgeWhenDue`, opening it also runs the retention purge when the last one
    // is more than a day old (a failing purge is left for the next run).
    MemoryStore& memory();
    // Off unless the application turns it on; a process serving assistants never writes
    // the memory, and the explicit forgetting commands turn it off for themselves.
    bool purgeWhenDue = false;
    std::string memoryPath() const;
    // The board file (BRELL_BOARD or the default location).
    std::string boardPath() const;

private:
    std::unique_ptr<MemoryStore> memory_;
};

} // namespace brell
