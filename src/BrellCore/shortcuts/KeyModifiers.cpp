#include "BrellCore/shortcuts/KeyModifiers.h"

#include <array>

namespace brell {
namespace {

struct Member {
    uint32_t mask;
    const char* symbol;
    const char* word;
};

// The order every text of a shortcut uses: ⌃⌥⇧⌘.
constexpr std::array<Member, 4> members = {{
    {KeyModifiers::controlMask, "\u2303", "Control"},
    {KeyModifiers::optionMask, "\u2325", "Option"},
    {KeyModifiers::shiftMask, "\u21E7", "Shift"},
    {KeyModifiers::commandMask, "\u2318", "Command"},
}};

} // namespace

std::string KeyModifiers::symbols() const {
    std::string out;
    for (const auto& m : members) {
        if ((raw_ & m.mask) != 0) {
            out += m.symbol;
        }
    }
    return out;
}

std::vector<std::string> KeyModifiers::words() const {
    std::vector<std::string> out;
    for (const auto& m : members) {
        if ((raw_ & m.mask) != 0) {
            out.emplace_back(m.word);
        }
    }
    return out;
}

} // namespace brell
