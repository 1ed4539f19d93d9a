// Reading a model's summary and catch-up answers: any bytes as the decoded answer of a
// summary request (for a Safari window, with two existing groups) and of a catch-up
// review of three mail windows (s1, s2, s3), the review sending two batches and getting
// the same answer for both.
//
// Checked: a summary is non-empty and at most 221 characters; a group is an existing
// name as spelled there, or a new one of 1 to 5 words and at most 32 characters that
// holds a letter, starts with no space, is not vague and is not the app's name; every
// catch-up item names a window that was sent in its batch, keeps its fields within
// their limits, and items come most urgent first, at most 12, with no window and
// sender twice in a review.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "BrellMemory/screen/CatchUp.h"
#include "BrellMemory/screen/ScreenSummary.h"
#include "FuzzSupport.h"
#include "util/Json.h"
#include "util/Text.h"

namespace brell {
namespace {

using fuzz::check;

const std::vector<std::string> existing = {"Kitchen renovation", "Misc"};

std::vector<ScreenCapture> mailWindows() {
    std::vector<ScreenCapture> out;
    for (int64_t id = 1; id <= 3; ++id) {
        ScreenCapture c;
        c.id = id;
        c.bundleID = "com.apple.mail";
        c.appName = "Mail";
        c.windowTitle = "Inbox " + std::to_string(id);
        // 700 characters: at a budget of 2,000 two windows fill one batch.
        c.text = std::string(700, static_cast<char>('a' + id));
        out.push_back(c);
    }
    return out;
}

void checkSummary(const Json& answer) {
    auto summary = ScreenSummary::parse(answer);
    if (!summary) {
        return;
    }
    check(!summary->empty(), "a summary is not empty");
    check(Text::isValidUTF8(*summary), "a summary is UTF-8", *summary);
    check(Text::characterCount(*summary) <= ScreenSummary::maxLength + 1, "a summary fits", *summary);
}

void checkGroup(const Json& answer) {
    auto group = ScreenSummary::parseGroup(answer, existing, "Safari");
    if (!group) {
        return;
    }
    for (const auto& name : existing) {
        if (*group == name) {
            return;
        }
    }
    check(Text::isValidUTF8(*group), "a group is UTF-8", *group);
    check(!group->empty() && Text::trim(*group) == *group, "a group is trimmed", *group);
    check(Text::characterCount(*group) <= ScreenSummary::maxGroupLength, "a group is short", *group);
    check(Text::split(*group, ' ').size() <= ScreenSummary::maxGroupWords, "a group has few words", *group);
    check(group->find("  ") == std::string::npos, "a group is single-spaced", *group);
    check(!ScreenSummary::vagueGroups().contains(Text::lower(*group)), "a group is not vague", *group);
    check(Text::caseFold(*group) != Text::caseFold("Safari"), "a group is not the app", *group);
}

void checkItems(const std::vector<CatchUpItem>& items, const std::vector<ScreenCapture>& sent) {
    check(items.size() <= CatchUp::maxItems, "at most twelve items");
    int rank = 0;
    for (const auto& item : items) {
        bool named = false;
        for (const auto& capture : sent) {
            named = named || item.capture == capture;
        }
        check(named, "an item names a window that was sent", std::to_string(item.capture.id));
        check(Text::characterCount(item.from) <= CatchUpItem::maxFrom, "from fits", item.from);
        check(Text::characterCount(item.summary) <= CatchUpItem::maxSummary, "summary fits", item.summary);
        check(Text::characterCount(item.whyItMatters) <= CatchUpItem::maxWhyItMatters, "why fits", item.whyItMatters);
        check(Text::characterCount(item.urgency) <= CatchUpItem::maxUrgency, "urgency fits", item.urgency);
        check(item.urgencyRank() >= rank, "most urgent first", item.urgency);
        rank = item.urgencyRank();
    }
}

} // namespace
} // namespace brell

// libFuzzer calls this name once per input. NOLINTNEXTLINE(readability-identifier-naming)
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace brell;
    static const std::vector<ScreenCapture> windows = mailWindows();
    auto answer = JsonText::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!answer) {
        return 0;
    }
    checkSummary(*answer);
    checkGroup(*answer);

    // The first batch (s1, s2) and the second (s3) each parse the answer alone.
    const std::vector<ScreenCapture> first(windows.begin(), windows.begin() + 2);
    checkItems(CatchUp::parse(*answer, first), first);
    auto review = CatchUp::reviewAll(windows, 2000, [&](const Json&) { return *answer; });
    check(review.batches == 2 && review.failed == 0, "two batches, both answered");
    checkItems(review.items, windows);
    std::set<std::string> keys;
    for (const auto& item : review.items) {
        check(keys.insert(std::to_string(item.capture.id) + "|" + Text::lower(item.from)).second,
              "no window and sender twice", item.from);
    }
    return 0;
}
