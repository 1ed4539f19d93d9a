#include "BrellMemory/store/TranscriptError.h"

namespace brell {

TranscriptError::TranscriptError(Case errorCase, std::optional<int> line, const std::string& description)
    : Error(description), case_(errorCase), line_(line) {}

TranscriptError TranscriptError::malformedTimestamp(int line) {
    return {Case::malformedTimestamp, line, "Line " + std::to_string(line) + " has a timestamp BRELL can't read."};
}

TranscriptError TranscriptError::nonMonotonic(int line) {
    return {Case::nonMonotonic, line, "Cues go backwards in time near line " + std::to_string(line) + "."};
}

TranscriptError TranscriptError::empty() {
    return {Case::empty, std::nullopt, "The file has no timestamped cues."};
}

TranscriptError TranscriptError::tooLarge() {
    return {Case::tooLarge, std::nullopt, "The file is too large (over 2 MB)."};
}

} // namespace brell
