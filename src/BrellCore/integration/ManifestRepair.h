#pragma once
// The outcome of repairing one link to BRELL after a move: a browser's native-messaging
// manifest or Claude Desktop's configuration. A plain value, equal when the case and its
// text are equal. Throws nothing.
#include <string>

namespace brell {

struct ManifestRepair {
    enum class Kind {
        repaired, // the file was rewritten; `text` is the path it held before ("" for none)
        failed,   // rewriting failed; `text` is the system's description of the error
        missing,  // no readable file (or, for Claude Desktop, no BRELL entry in it)
        foreign,  // the file or entry is not ours and was left alone
        current,  // already pointing at this copy
    };

    Kind kind = Kind::missing;
    std::string text;

    static ManifestRepair repaired(std::string oldPath) { return {Kind::repaired, std::move(oldPath)}; }
    static ManifestRepair failed(std::string message) { return {Kind::failed, std::move(message)}; }
    static ManifestRepair missing() { return {Kind::missing, ""}; }
    static ManifestRepair foreign() { return {Kind::foreign, ""}; }
    static ManifestRepair current() { return {Kind::current, ""}; }

    bool operator==(const ManifestRepair&) const = default;
};

// "repaired (was /old/path)", "failed: <message>", "missing", "foreign", "current": for
// test failures and logs.
std::string debugText(const ManifestRepair& repair);

} // namespace brell
