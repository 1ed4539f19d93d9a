#include "BrellCore/ai/AIProvider.h"

namespace brell {
namespace {

struct Facts {
    std::string_view raw;
    std::string_view displayName;
    std::string_view shortName;
    std::string_view defaultModel;
    std::string_view environmentKey; // empty: none
    int deadline;
};

// Indexed by AIProvider::Case.
constexpr std::array<Facts, 5> facts = {{
    {"off", "Off \u2014 manual notes only", "Off", "", "", 0},
    {"claudeCode", "Claude Code (your subscription)", "Claude Code", "", "", 90},
    {"apple", "Apple Intelligence (on this Mac)", "Apple Intelligence", "", "", 40},
    {"anthropic", "Claude API (key)", "Claude", "claude-opus-5-5", "ANTHROPIC_API_KEY", 20},
    {"openai", "OpenAI", "OpenAI", "gpt-4.1-mini-2025-04-14", "OPENAI_API_KEY", 8},
}};

} // namespace

const std::array<AIProvider, 5>& AIProvider::allCases() {
    static const std::array<AIProvider, 5> all = {off, claudeCode, apple, anthropic, openai};
    return all;
}

std::optional<AIProvider> AIProvider::fromRawValue(std::string_view raw) {
    for (AIProvider provider : allCases()) {
        if (provider.rawValue() == raw) {
            return provider;
        }
    }
    return std::nullopt;
}

std::string_view AIProvider::rawValue() const {
    return facts[value_].raw;
}

std::string_view AIProvider::displayName() const {
    return facts[value_].displayName;
}

std::string_view AIProvider::shortName() const {
    return facts[value_].shortName;
}

std::string_view AIProvider::defaultModel() const {
    return facts[value_].defaultModel;
}

std::optional<std::string_view> AIProvider::environmentKey() const {
    if (facts[value_].environmentKey.empty()) {
        return std::nullopt;
    }
    return facts[value_].environmentKey;
}

int AIProvider::deadline() const {
    return facts[value_].deadline;
}

} // namespace brell
