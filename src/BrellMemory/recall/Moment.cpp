#include "BrellMemory/recall/Moment.h"

#include "BrellMemory/store/Timecode.h"
#include "util/DateFormat.h"

namespace brell {

std::string Moment::id() const {
    return std::to_string(chunk.id) + "-" + std::to_string(ms.value_or(-1));
}

std::string Moment::whereLabel(Date now) const {
    if (chunk.kind == "screen") {
        bool today = DateFormat::format(chunk.retrievedAt, "yyyy-MM-dd") == DateFormat::format(now, "yyyy-MM-dd");
        return DateFormat::format(chunk.retrievedAt, today ? "'today' HH:mm" : "EEE d MMM HH:mm");
    }
    if (chunk.kind == "transcript") {
        return Timecode::format(ms ? *ms : chunk.startMs.value_or(0));
    }
    if (chunk.kind == "article") {
        return chunk.heading.value_or("article");
    }
    if (chunk.kind == "saved") {
        return "Saved quote";
    }
    return chunk.kindLabel();
}

} // namespace brell
