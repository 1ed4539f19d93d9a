#include "BrellMemory/recall/AnswerSentence.h"

#include "util/Text.h"

namespace brell {

std::string AnswerSentence::id() const {
    return moment.id() + "|" + Text::prefixCharacters(text, 32);
}

} // namespace brell
