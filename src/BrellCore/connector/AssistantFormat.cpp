#include "BrellCore/connector/AssistantFormat.h"

#include <cmath>

#include "addresses/TextFragment.h"
#include "addresses/URLSafety.h"
#include "util/Text.h"

namespace brell::AssistantFormat {
namespace {

constexpr std::string_view separator = " \u00B7 "; // " · "

// The lines of `text`, split at every line break (CR LF counting as one), each after
// "> ". A text without line breaks, the empty one included, gives one line.
void appendQuoted(std::vector<std::string>& lines, std::string_view text) {
    std::string current = "> ";
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t breakLength = 0;
        char c = text[i];
        if (c == '\r') {
            breakLength = i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1;
        } else if (c == '\n' || c == '\v' || c == '\f') {
            breakLength = 1;
        } else if (text.compare(i, 2, "\xC2\x85") == 0) { // NEXT LINE
            breakLength = 2;
        } else if (text.compare(i, 3, "\xE2\x80\xA8") == 0 || text.compare(i, 3, "\xE2\x80\xA9") == 0) {
            breakLength = 3; // LINE SEPARATOR, PARAGRAPH SEPARATOR
        }
        if (breakLength > 0) {
            lines.push_back(std::move(current));
            current = "> ";
            i += breakLength;
        } else {
            current += c;
            ++i;
        }
    }
    lines.push_back(std::move(current));
}

std::string linkName(const Capture& capture) {
    if (capture.targetTitle && !capture.targetTitle->empty()) {
        return *capture.targetTitle;
    }
    if (capture.targetURL) {
        if (auto host = URLSafety::displayHost(*capture.targetURL)) {
            return *host;
        }
    }
    return "Link";
}

} // namespace

std::string counted(std::size_t count, std::string_view noun) {
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

std::string stamp(Date date, std::string_view timeZone) {
    return DateFormat::format(date, stampPattern, DateFormat::britishLocale, timeZone);
}

std::optional<std::string> ago(Date date, Date now) {
    double age = now - date;
    if (age < 90) {
        return "just now";
    }
    if (age < 3600) {
        return std::to_string(static_cast<long long>(std::floor(age / 60))) + " min ago";
    }
    if (age < 86400) {
        return std::to_string(static_cast<long long>(std::floor(age / 3600))) + " h ago";
    }
    return std::nullopt;
}

std::string sourceLine(const SourceRef& source) {
    if (!source.url) {
        return source.title + " (" + source.appName + ", no address)";
    }
    if (URLSafety::isFile(*source.url)) {
        return URLSafety::displayHost(*source.url).value_or(source.title) + " (local file in " + source.appName + ")";
    }
    return source.title + " <" + *source.url + ">";
}

std::string card(const Card& card, std::string_view timeZone) {
    const Capture& capture = card.capture;
    std::vector<std::string> lines;
    lines.push_back("[" + Text::lower(card.lane.title()) + "] id: " + card.id.text() + std::string(separator) +
                    "captured " + stamp(capture.capturedAt, timeZone) + " from " + capture.source.appName);
    if (capture.kind == CaptureKind::url) {
        lines.push_back("Link: " + linkName(capture) + " <" + capture.targetURL.value_or("") + ">");
        if (!capture.isPageItself()) {
            lines.push_back("Found on: " + sourceLine(capture.source));
        }
    } else {
        std::string trimmed = capture.trimmedText();
        appendQuoted(lines, trimmed);
        lines.push_back("Source: " + sourceLine(capture.source));
        if (capture.source.url) {
            if (auto link = TextFragment::url(*capture.source.url, trimmed)) {
                lines.push_back("Jump to quote: <" + *link + ">");
            }
        }
    }
    if (card.note) {
        const Note& note = *card.note;
        if (note.mode == Note::Mode::manual) {
            lines.push_back("User's note: " + note.explanation);
        } else {
            lines.push_back("AI explanation (" + note.provider.value_or("model") + "): " + note.explanation);
        }
        if (note.caveat) {
            lines.push_back("Caveat: " + *note.caveat);
        }
    }
    return Text::join(lines, "\n");
}

std::string passage(const ContextPassage& passage) {
    std::vector<std::string> labels{passage.kind};
    if (passage.location) {
        labels.push_back(*passage.location);
    }
    if (passage.status) {
        labels.push_back(*passage.status);
    }
    std::vector<std::string> lines{"[" + Text::join(labels, separator) + "] " + passage.title};
    appendQuoted(lines, passage.text);
    lines.push_back("Open: <" + passage.link + ">");
    return Text::join(lines, "\n");
}

std::string glimpse(const ScreenGlimpse& glimpse, const std::vector<std::string>& words, std::size_t limit, Date now,
                    std::string_view timeZone) {
    std::string time = stamp(glimpse.at, timeZone);
    if (glimpse.lastAt - glimpse.at >= 60) {
        time += "\u2013" + DateFormat::format(glimpse.lastAt, "HH:mm", DateFormat::britishLocale, timeZone);
    }
    if (auto age = ago(glimpse.lastAt, now)) {
        time += " (last seen " + *age + ")";
    }
    std::vector<std::string> lines{"[On screen" + std::string(separator) + glimpse.app + std::string(separator) + time +
                                   "] " + (glimpse.title.empty() ? "(no window title)" : glimpse.title)};
    if (glimpse.group) {
        lines.push_back("Group: " + *glimpse.group);
    }
    if (glimpse.url) {
        lines.push_back("Address: <" + *glimpse.url + ">");
    }
    if (glimpse.summary) {
        lines.push_back("AI summary: " + *glimpse.summary);
    }
    appendQuoted(lines, ScreenGlimpse::excerpt(glimpse.text, words, limit));
    return Text::join(lines, "\n");
}

std::string list(const std::vector<Card>& cards, std::string_view heading, std::string_view timeZone) {
    if (cards.empty()) {
        return std::string(heading) + "\n\nNo matching items.";
    }
    std::vector<std::string> blocks{std::string(heading), std::string(preamble)};
    for (const Card& each : cards) {
        blocks.push_back(card(each, timeZone));
    }
    return Text::join(blocks, "\n\n");
}

} // namespace brell::AssistantFormat
