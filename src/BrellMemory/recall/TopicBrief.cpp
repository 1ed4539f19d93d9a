#include "BrellMemory/recall/TopicBrief.h"

#include <algorithm>
#include <array>

#include "BrellCore/board/MarkdownExport.h"
#include "BrellMemory/store/Timecode.h"
#include "addresses/URLSafety.h"
#include "util/Text.h"

namespace brell::TopicBrief {
namespace {

using MarkdownExport::escapeInline;

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Every kind of line break as a line feed, CR LF as one. Markdown ends a line at a
// carriage return too, so one left in a quote would let the rest of the line escape it.
std::string lineFeeds(std::string_view text) {
    static constexpr std::array<std::string_view, 7> breaks = {"\r\n", "\r", "\v", "\f", "\u0085", "\u2028", "\u2029"};
    std::string out(text);
    for (std::string_view lineBreak : breaks) {
        out = replaceAll(std::move(out), lineBreak, "\n");
    }
    return out;
}

// A value that belongs on one line of the document (a title, a heading, a label):
// a line break in it would start a new Markdown block.
std::string oneLine(std::string_view text) {
    return replaceAll(lineFeeds(text), "\n", " ");
}

std::string timeOf(const Passage& passage) {
    return Timecode::format(passage.ms ? *passage.ms : passage.chunk.startMs.value_or(0));
}

std::string key(int64_t chunkID, std::optional<int64_t> ms) {
    return std::to_string(chunkID) + "|" + std::to_string(ms.value_or(-1));
}

} // namespace

std::string kindLabel(const ChunkRecord& chunk) {
    if (chunk.kind == "transcript") {
        return "Video";
    }
    if (chunk.kind == "article") {
        return "Article";
    }
    if (chunk.kind == "saved") {
        return "Saved quote";
    }
    if (chunk.kind == "screen") {
        return "Screen text";
    }
    if (chunk.kind == "comment") {
        return "Comment";
    }
    return chunk.kindLabel();
}

std::string blockquote(std::string_view text) {
    std::string out;
    bool first = true;
    for (const std::string& line : Text::split(lineFeeds(text), '\n')) {
        out += (first ? "> " : "\n> ") + escapeInline(line);
        first = false;
    }
    return out;
}

std::string sourceLine(const Passage& passage) {
    const ChunkRecord& chunk = passage.chunk;
    std::vector<std::string> parts = {kindLabel(chunk), escapeInline(oneLine(chunk.sourceTitle))};
    if (chunk.kind == "transcript") {
        parts.push_back(timeOf(passage));
    }
    if (chunk.kind == "article" && chunk.heading && !chunk.heading->empty()) {
        parts.push_back("\u201C" + escapeInline(oneLine(*chunk.heading)) + "\u201D");
    }
    if (passage.exposure) {
        parts.push_back(display(*passage.exposure, chunk.sourceKind));
    }
    if (chunk.isFixture()) {
        parts.push_back("demo fixture");
    }
    if (URLSafety::isWeb(passage.openURL)) {
        std::string label = chunk.kind == "transcript" ? "Open at " + timeOf(passage)
                            : chunk.kind == "saved"    ? "open"
                                                       : "jump to quote";
        std::string address = passage.openURL;
        static constexpr std::array<std::pair<std::string_view, std::string_view>, 5> substitutions = {
            {{" ", "%20"}, {"(", "%28"}, {")", "%29"}, {"<", "%3C"}, {">", "%3E"}}};
        for (const auto& [from, to] : substitutions) {
            address = replaceAll(std::move(address), from, to);
        }
        parts.push_back("[" + label + "](" + address + ")");
    }
    std::string out;
    for (const auto& part : parts) {
        out += (out.empty() ? "" : " \u00B7 ") + part;
    }
    return out;
}

std::string markdown(std::string_view topic, const std::vector<AnswerSentence>& answer,
                     const std::optional<std::string>& answerLabel, const std::vector<Passage>& passages, Date now,
                     std::string_view timeZone) {
    std::vector<std::string> lines = {"# " + escapeInline(oneLine(Text::trim(topic))), ""};
    lines.push_back("_Brief from BRELL on " +
                    DateFormat::format(now, "d MMM yyyy 'at' HH:mm", "en_US_POSIX", timeZone) + " \u00B7 " +
                    std::to_string(passages.size()) + (passages.size() == 1 ? " passage" : " passages") +
                    " from your own research_");
    std::vector<std::string> answered;
    if (!answer.empty()) {
        lines.push_back("");
        lines.push_back("## Answer (AI" + (answerLabel ? " \u00B7 " + escapeInline(oneLine(*answerLabel)) : "") + ")");
        lines.push_back("");
        lines.push_back("_The sentences were written by AI from the passages below. The quotes are exact words from "
                        "your sources._");
        int n = 0;
        for (const AnswerSentence& sentence : answer) {
            const Moment& moment = sentence.moment;
            lines.push_back("");
            lines.push_back(std::to_string(++n) + ". " + escapeInline(oneLine(sentence.text)));
            lines.push_back("");
            lines.push_back("   " + replaceAll(blockquote(sentence.quote), "\n", "\n   "));
            lines.push_back("");
            lines.push_back(
                "   " + sourceLine(Passage{moment.chunk, moment.ms, sentence.quote, moment.exposure, moment.openURL}));
            answered.push_back(key(moment.chunk.id, moment.ms));
        }
    }
    std::vector<const Passage*> further;
    for (const Passage& passage : passages) {
        if (std::find(answered.begin(), answered.end(), key(passage.chunk.id, passage.ms)) == answered.end()) {
            further.push_back(&passage);
        }
    }
    if (!further.empty()) {
        lines.push_back("");
        lines.push_back(answer.empty() ? "## Passages" : "## More passages");
        for (const Passage* passage : further) {
            lines.push_back("");
            lines.push_back(blockquote(passage->quote));
            lines.push_back("");
            lines.push_back(sourceLine(*passage));
        }
    }
    lines.push_back("");
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += (i == 0 ? "" : "\n") + lines[i];
    }
    return out;
}

} // namespace brell::TopicBrief
