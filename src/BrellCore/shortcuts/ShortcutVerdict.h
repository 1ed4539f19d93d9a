#pragma once
// The judgement on a candidate shortcut: acceptable, acceptable with a warning the user
// should read, or rejected (never stored). A warning and a rejection carry the sentence
// shown to the user. A plain value; thread-safe; throws nothing.
#include <optional>
#include <string>

namespace brell {

class ShortcutVerdict {
public:
    enum class Kind { warning, rejected, ok };

    static ShortcutVerdict ok() { return ShortcutVerdict(Kind::ok, std::nullopt); }
    static ShortcutVerdict warning(std::string message) { return ShortcutVerdict(Kind::warning, std::move(message)); }
    static ShortcutVerdict rejected(std::string message) { return ShortcutVerdict(Kind::rejected, std::move(message)); }

    Kind kind() const { return kind_; }
    // The sentence; nothing for ok.
    const std::optional<std::string>& message() const { return message_; }
    bool isRejected() const { return kind_ == Kind::rejected; }

    bool operator==(const ShortcutVerdict&) const = default;

private:
    ShortcutVerdict(Kind kind, std::optional<std::string> message) : kind_(kind), message_(std::move(message)) {}
    Kind kind_;
    std::optional<std::string> message_;
};

} // namespace brell
