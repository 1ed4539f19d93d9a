#pragma once
// The failures of reading a timed-text file, each with a fixed description meant to be
// shown to the user as it is. The line number is the 1-based number of the offending
// timing line after line endings are normalised. Errors compare equal by case and line.
// A plain value; thrown by value by Transcript::parse and MemoryStore::importTranscript.
#include <optional>
#include <string>

#include "util/Error.h"

namespace brell {

class TranscriptError : public Error {
public:
    enum class Case { malformedTimestamp, nonMonotonic, empty, tooLarge };

    // "Line <line> has a timestamp BRELL can't read."
    static TranscriptError malformedTimestamp(int line);
    // "Cues go backwards in time near line <line>."
    static TranscriptError nonMonotonic(int line);
    // "The file has no timestamped cues."
    static TranscriptError empty();
    // "The file is too large (over 2 MB)."
    static TranscriptError tooLarge();

    Case errorCase() const { return case_; }
    // The timing line of malformedTimestamp and nonMonotonic; nothing for the others.
    std::optional<int> line() const { return line_; }

    bool operator==(const TranscriptError& other) const { return case_ == other.case_ && line_ == other.line_; }

private:
    TranscriptError(Case errorCase, std::optional<int> line, const std::string& description);

    Case case_;
    std::optional<int> line_;
};

} // namespace brell
