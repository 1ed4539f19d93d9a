#pragma once
// One verified sentence of a cited answer: the words a model wrote, the passage they
// rest on (as a moment: the chunk, the media position, how the user met it and the link
// that opens it there; its reason is empty), and exact words of that passage that
// support it. Only AnswerComposer::parse makes them from a reply. A plain value.
#include <string>

#include "BrellMemory/recall/Moment.h"

namespace brell {

struct AnswerSentence {
    std::string text; // as the model wrote it, line breaks turned into spaces, trimmed
    Moment moment;
    std::string quote; // exact words from the passage (AnswerComposer::verbatim)

    // The moment's chunk id, "-", its ms (or -1), "|", and the first 32 characters of
    // the text: "412-95000|The speaker says prices rise".
    std::string id() const;

    bool operator==(const AnswerSentence&) const = default;
};

} // namespace brell
