#pragma once
// What a companion message parser made of its input, as one word a table of cases can
// compare: "(accepted)", "disabled", or the reason of an "invalid" refusal. A refusal
// with any other status, or a disabled one carrying a reason, fails the test.
#include <string>
#include <variant>

#include <gtest/gtest.h>

#include "BrellMemory/host/IngestRefusal.h"

namespace brell::test {

template <class Parsed> std::string outcome(const std::variant<Parsed, IngestRefusal>& parsed) {
    const auto* refusal = std::get_if<IngestRefusal>(&parsed);
    if (refusal == nullptr) {
        return "(accepted)";
    }
    if (refusal->status == AckStatus::disabled) {
        EXPECT_FALSE(refusal->reason);
        return "disabled";
    }
    EXPECT_EQ(refusal->status, AckStatus::invalid);
    return refusal->reason.value_or("(none)");
}

} // namespace brell::test
