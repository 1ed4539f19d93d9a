#include "BrellCore/integration/RelocationReport.h"

namespace brell {
namespace {

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string out;
    for (const auto& part : parts) {
        if (!out.empty()) {
            out += separator;
        }
        out += part;
    }
    return out;
}

bool repaired(const ManifestRepair& r) {
    return r.kind == ManifestRepair::Kind::repaired;
}

} // namespace

std::optional<std::string> RelocationReport::notice() const {
    std::vector<std::string> sentences;

    std::vector<std::string> updated;
    if (repaired(chrome)) {
        updated.push_back("the Chrome link");
    }
    for (const auto& other : otherBrowsers) {
        if (repaired(other.result)) {
            updated.push_back("the " + other.browser + " link");
        }
    }
    if (repaired(claudeDesktop)) {
        updated.push_back("Claude Desktop");
    }
    if (!updated.empty()) {
        std::string s = "Updated " + joined(updated, " and ") + " to use this copy of BRELL.";
        if (repaired(claudeDesktop)) {
            s += " Reopen Claude Desktop to pick it up.";
        }
        sentences.push_back(s);
    }
    if (repaired(chrome)) {
        sentences.push_back("If Chrome lists BRELL Memory as missing, load it once from BRELL's own folder: Help → "
                            "Welcome to BRELL → Copy Folder Path.");
    }
    if (companion.kind == CompanionSync::Result::Kind::updated && extensionInUse) {
        sentences.push_back("BRELL updated its Chrome extension: press Reload on BRELL Memory in chrome://extensions.");
    }
    if (!needsReconnect.empty()) {
        sentences.push_back(joined(needsReconnect, ", ") + " still " + (needsReconnect.size() == 1 ? "uses" : "use") +
                            " a copy of BRELL that's gone: reconnect in Sources & Privacy → AI connections.");
    }
    if (sentences.empty()) {
        return std::nullopt;
    }
    return joined(sentences, " ");
}

} // namespace brell
