#pragma once
// Path text made comparable without touching the disk: a leading "~" expanded, "." and
// ".." components and doubled or trailing separators removed. Two paths name the same
// place for BRELL's link checks when their standard forms are equal; links are not
// resolved, so a path to a file that is gone still has a standard form. Stateless;
// throws nothing.
#include <string>
#include <string_view>

namespace brell::StandardPath {

// The standard form of `path`, with "~" standing for `home`. ".." above the root stays
// at the root; a relative path keeps its leading ".." components.
std::string standardize(std::string_view path, std::string_view home);

// The same with the user's own home folder.
std::string standardize(std::string_view path);

// True when both have the same standard form.
bool same(std::string_view a, std::string_view b);

} // namespace brell::StandardPath
