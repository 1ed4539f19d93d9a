// Screen summaries and catch-up: the windows they read, and the groups shared with
// assistants.
#include "BrellMemory/db/MemoryStore.h"

#include <algorithm>
#include <map>

namespace brell {
namespace {

using Value = SQLiteDB::Value;

Date dateValue(const Value& value) {
    return value.isReal() || value.isInteger() ? value.real().value_or(0) : 0;
}

} // namespace

std::vector<ScreenCapture> MemoryStore::screenCapturesToSummarize(int64_t limit) {
    if (limit < 1) {
        return {};
    }
    std::vector<ScreenCapture> out;
    for (const auto& row : db.query("SELECT * FROM screen_capture\n"
                                    "WHERE summary IS NULL OR summary_hash IS NULL OR summary_hash != text_hash\n"
                                    "ORDER BY last_at DESC, id DESC LIMIT ?",
                                    {Value(limit)})) {
        out.push_back(screenFrom(row));
    }
    return out;
}

std::vector<ScreenCapture> MemoryStore::catchUpCaptures(int64_t limit) {
    return screenCaptures(now() - catchUpWindow, limit, true);
}

std::vector<ScreenGroup> MemoryStore::sharedScreenGroups(int64_t limit) {
    if (limit < 1) {
        return {};
    }
    std::map<std::string, ScreenGroup> groups;
    for (const auto& row : db.query("SELECT topic, app_bundle, window_title, last_at FROM screen_capture\n"
                                    "WHERE topic IS NOT NULL AND topic != ''")) {
        std::string bundle = row.text("app_bundle");
        if (ScreenPolicy::isMessaging(bundle, row.text("window_title")) ||
            ScreenPolicy::assistantApps().contains(bundle)) {
            continue;
        }
        std::string topic = row.text("topic");
        Date last = dateValue(row["last_at"]);
        ScreenGroup& group = groups.try_emplace(topic, ScreenGroup{topic, 0, last}).first->second;
        group.count += 1;
        group.lastAt = std::max(group.lastAt, last);
    }
    std::vector<ScreenGroup> out;
    out.reserve(groups.size());
    for (auto& [name, group] : groups) {
        out.push_back(std::move(group));
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const ScreenGroup& a, const ScreenGroup& b) { return a.lastAt > b.lastAt; });
    if (out.size() > static_cast<std::size_t>(limit)) {
        out.resize(static_cast<std::size_t>(limit));
    }
    return out;
}

} // namespace brell
