#pragma once
// Where a capture came from: the page or window title, the page address (already
// cleaned of secrets by URLSafety), and the application. A plain value with equality
// and hashing over every field. Thread-safe; throws nothing.
#include <functional>
#include <optional>
#include <string>

namespace brell {

struct SourceRef {
    std::string title;                   // page or window title at capture time
    std::optional<std::string> url;      // cleaned page address, when the app shares one
    std::string appName;                 // the application captured from
    std::optional<std::string> bundleID; // that application's bundle identifier
    bool redacted = false;               // sensitive parts were removed from `url`

    // "Clipboard": the application name of text that came from the clipboard.
    static const std::string clipboardName;
    // Title and application "Clipboard", no address, no bundle, not redacted.
    static SourceRef clipboard();

    bool operator==(const SourceRef&) const = default;
};

} // namespace brell

template <> struct std::hash<brell::SourceRef> {
    std::size_t operator()(const brell::SourceRef& source) const noexcept;
};
