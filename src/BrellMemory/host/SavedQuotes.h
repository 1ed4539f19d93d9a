#pragma once
// Counts the quotes on the board that were saved from a page, matching addresses by
// page identity (so tracking parameters, host case and trailing slashes do not
// matter). Reads the board file afresh on each call; never throws.
#include <string>
#include <string_view>

namespace brell::SavedQuotes {

// 0 when the page has no identity or the board cannot be read.
int count(std::string_view forPage, const std::string& boardURL) noexcept;

} // namespace brell::SavedQuotes
