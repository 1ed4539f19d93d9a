#include "brell/TextOutput.h"

namespace brell::TextOutput {

std::string oneLine(std::string_view text) {
    std::string out;
    bool space = false;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            space = !out.empty();
            continue;
        }
        if (space) {
            out += ' ';
            space = false;
        }
        out += c;
    }
    return out;
}

std::string joinWords(const std::vector<std::string>& words) {
    std::string out;
    for (const auto& word : words) {
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

} // namespace brell::TextOutput
