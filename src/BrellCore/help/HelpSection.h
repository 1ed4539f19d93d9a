#pragma once
// The five sections of the help ("Tips & FAQ"), in order, each with its title and a
// one-line blurb. Thread-safe; throws nothing.
#include <array>
#include <string>

namespace brell {

enum class HelpSection { whenToUse, howItWorks, privacy, troubleshooting, tips };

namespace HelpSections {

const std::array<HelpSection, 5>& allCases();
std::string title(HelpSection section);
std::string blurb(HelpSection section);

} // namespace HelpSections
} // namespace brell
