#pragma once
// The one error of every AI call, whatever the provider: each kind carries the sentence
// shown to the user as it is (what()/message()) and whether offering "try again" makes
// sense. Two errors are equal when they are the same kind and, for unavailable, carry
// the same sentence.
//
// A plain value; thread-safe.
#include <string>

#include "util/Error.h"

namespace brell {

class ExplainError : public Error {
public:
    enum class Kind { unavailable, badInput, noKey, timeout, refused, rateLimited, invalidResponse, cancelled };

    static ExplainError unavailable(const std::string& message);
    static ExplainError badInput();
    static ExplainError noKey();
    static ExplainError timeout();
    static ExplainError refused();
    static ExplainError rateLimited();
    static ExplainError invalidResponse();
    static ExplainError cancelled();

    Kind kind() const { return kind_; }
    std::string message() const { return what(); }
    bool isRetryable() const;

    bool operator==(const ExplainError& other) const;

private:
    ExplainError(Kind kind, const std::string& message) : Error(message), kind_(kind) {}
    Kind kind_;
};

} // namespace brell
