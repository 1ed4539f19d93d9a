#pragma once
// The AI provider the user picked ("Settings → AI"), with what BRELL needs to know about
// each: its names, default model, the environment variable that may hold its API key,
// whether it runs on this computer, and how long one call to it may take. Its raw value
// ("off", "claudeCode", "apple", "anthropic", "openai") is what settings files hold;
// any other text, in any other case, is no provider.
//
// A plain value, usable as `AIProvider::anthropic`; switch on value(). Thread-safe;
// throws nothing.
#include <array>
#include <optional>
#include <string_view>

namespace brell {

class AIProvider {
public:
    enum Case { off, claudeCode, apple, anthropic, openai };

    constexpr AIProvider(Case value) : value_(value) {} // NOLINT(google-explicit-constructor)

    // Every provider, in the order the picker lists them.
    static const std::array<AIProvider, 5>& allCases();
    // The provider with exactly this raw value, or nothing.
    static std::optional<AIProvider> fromRawValue(std::string_view raw);

    constexpr Case value() const { return value_; }
    std::string_view rawValue() const;
    std::string_view id() const { return rawValue(); }
    // The picker's label, e.g. "Claude API (key)".
    std::string_view displayName() const;
    // The compact name used in labels, e.g. "Claude".
    std::string_view shortName() const;
    // The model used when the user names none; empty for providers without a choice.
    std::string_view defaultModel() const;
    // The environment variable that may hold this provider's API key.
    std::optional<std::string_view> environmentKey() const;
    bool isOnDevice() const { return value_ == apple; }
    // Seconds one call may take.
    int deadline() const;

    constexpr bool operator==(const AIProvider&) const = default;

private:
    Case value_;
};

} // namespace brell
