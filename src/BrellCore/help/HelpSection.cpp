#include "BrellCore/help/HelpSection.h"

namespace brell::HelpSections {
namespace {

struct Row {
    const char* title;
    const char* blurb;
};

constexpr std::array<Row, 5> rows = {{
    {"When to use BRELL", "Situations where BRELL saves you time, and what to do."},
    {"How it works", "The main parts, in a few sentences each."},
    {"Privacy", "What is kept, where, and what leaves this Mac."},
    {"Troubleshooting", "When something doesn't work, and how to fix it."},
    {"Tips", "Small things worth knowing."},
}};

} // namespace

const std::array<HelpSection, 5>& allCases() {
    static constexpr std::array<HelpSection, 5> cases = {HelpSection::whenToUse, HelpSection::howItWorks,
                                                         HelpSection::privacy, HelpSection::troubleshooting,
                                                         HelpSection::tips};
    return cases;
}

std::string title(HelpSection section) {
    return rows[static_cast<std::size_t>(section)].title;
}

std::string blurb(HelpSection section) {
    return rows[static_cast<std::size_t>(section)].blurb;
}

} // namespace brell::HelpSections
