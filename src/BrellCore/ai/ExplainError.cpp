#include "BrellCore/ai/ExplainError.h"

#include <cstring>

namespace brell {

ExplainError ExplainError::unavailable(const std::string& message) {
    return {Kind::unavailable, message};
}

ExplainError ExplainError::badInput() {
    return {Kind::badInput, "This item has no text to explain."};
}

ExplainError ExplainError::noKey() {
    return {Kind::noKey, "Add an API key in Settings \u2192 AI, or choose another provider."};
}

ExplainError ExplainError::timeout() {
    return {Kind::timeout, "The AI took too long and was stopped. Nothing was changed; try again."};
}

ExplainError ExplainError::refused() {
    return {Kind::refused, "The AI declined to answer about this text. Nothing was changed."};
}

ExplainError ExplainError::rateLimited() {
    return {Kind::rateLimited, "Your AI provider is limiting requests. Wait a minute, then try again."};
}

ExplainError ExplainError::invalidResponse() {
    return {Kind::invalidResponse, "The AI's answer came back incomplete, so BRELL didn't use it. Try again."};
}

ExplainError ExplainError::cancelled() {
    return {Kind::cancelled, "Cancelled."};
}

bool ExplainError::isRetryable() const {
    switch (kind_) {
    case Kind::unavailable:
    case Kind::timeout:
    case Kind::rateLimited:
    case Kind::invalidResponse:
        return true;
    case Kind::badInput:
    case Kind::noKey:
    case Kind::refused:
    case Kind::cancelled:
        return false;
    }
    return false;
}

bool ExplainError::operator==(const ExplainError& other) const {
    return kind_ == other.kind_ && std::strcmp(what(), other.what()) == 0;
}

} // namespace brell
