#pragma once
// ScreenPolicy: which windows screen memory may keep and show, and when two readings of
// one window are the same record. Password managers, the lock screen and BRELL itself
// are never recorded; mail and chat windows are recorded (the message catch-up reads
// them) but never shown to assistants, and neither are AI assistant windows.
//
// The sets and the title pattern are constants built once, on first use, safely under
// concurrent first use; every function may be called from any thread. Nothing here
// throws except std::bad_alloc (or a failure of ICU itself).
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>

#include "util/Regex.h"

namespace brell::ScreenPolicy {

using BundleSet = std::set<std::string, std::less<>>;

// The 11 bundle identifiers that are never recorded.
const BundleSet& alwaysExcluded();
// The 14 bundle identifiers of mail and chat applications.
const BundleSet& messagingApps();
// The 5 bundle identifiers of AI assistant applications.
const BundleSet& assistantApps();
// Web mail and chat open in a browser, by window title; case-insensitive, matched
// anywhere in the title.
const Regex& messagingTitle();

// A mail or chat window: a messaging application, or a title messagingTitle finds.
bool isMessaging(std::string_view bundleID, std::string_view title);

// The distinct lower-cased words of `text` of at least 3 characters (user-perceived),
// split at every character that is neither a letter nor a number.
std::unordered_set<std::string> words(std::string_view text);

// Two readings of one window count as one record when their word sets overlap by at
// least 85 % (intersection over union), or when neither has any word.
bool similar(std::string_view a, std::string_view b);

// The overlap, in percent, at which two texts count as similar.
inline constexpr int similarPercent = 85;

} // namespace brell::ScreenPolicy
