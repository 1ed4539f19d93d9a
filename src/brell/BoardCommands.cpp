// brell board …: the research board. The application is the board's only writer: every
// command loads board.json through CardStore, builds captures with CaptureBuilder and
// checks lanes with the capture's own rules, so the messages are the board's own.
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "BrellCore/board/BoardJson.h"
#include "BrellCore/board/CaptureBuilder.h"
#include "BrellCore/board/CardStore.h"
#include "BrellCore/board/MarkdownExport.h"
#include "addresses/URLSafety.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "brell/TextOutput.h"
#include "platform/FileSystem.h"
#include "platform/SystemClock.h"
#include "util/Text.h"

namespace brell {
namespace {

// The application name recorded as the source of what is saved from the command line.
const char* const commandLineAppName = "brell";

// A summary line is cut to this many characters.
constexpr std::size_t summaryCharacters = 80;

// The store of BRELL_BOARD (or the default board), loaded. A board that cannot be read
// stops the command and stays as it is.
std::unique_ptr<CardStore> openBoard(AppContext& context) {
    auto store = std::make_unique<CardStore>(context.boardPath());
    try {
        store->load();
    } catch (const Error& e) {
        throw CommandError("The board at " + store->fileURL() + " can't be read, so it was left as it is: " + e.what());
    }
    return store;
}

void save(CardStore& store, const Card& card) {
    try {
        store.upsert(card);
    } catch (const Error& e) {
        throw CommandError(std::string("The board could not be saved: ") + e.what());
    }
}

Lane laneNamed(const std::string& name) {
    // The option checks restrict names to the three lanes.
    return Lane::fromRaw(name).value_or(Lane::evidence);
}

UUID cardID(const std::string& text) {
    auto id = UUID::parse(text);
    if (!id) {
        throw CommandError(text + " isn't a card id.");
    }
    return *id;
}

std::string oneLine(const std::string& text) {
    std::string line;
    for (const std::string& piece : Text::split(text, '\n')) {
        std::string trimmed = Text::trim(piece);
        if (!trimmed.empty()) {
            line += line.empty() ? trimmed : " " + trimmed;
        }
    }
    if (Text::characterCount(line) > summaryCharacters) {
        line = Text::prefixCharacters(line, summaryCharacters - 1) + "\u2026";
    }
    return line;
}

std::string summary(const Card& card) {
    const Capture& capture = card.capture;
    std::string line;
    if (capture.kind == CaptureKind::quote) {
        line = "\u201C" + oneLine(capture.trimmedText()) + "\u201D";
    } else {
        std::string target = capture.targetURL.value_or("");
        if (capture.targetTitle && !Text::isBlank(*capture.targetTitle)) {
            line = oneLine(*capture.targetTitle) + " <" + target + ">";
        } else {
            line = "<" + target + ">";
        }
    }
    if (!capture.isPageItself() || capture.kind == CaptureKind::quote) {
        std::string from = oneLine(capture.source.title);
        if (capture.source.url) {
            auto host = URLSafety::displayHost(*capture.source.url);
            if (host && *host != from) {
                from += from.empty() ? *host : " (" + *host + ")";
            }
        }
        if (!from.empty()) {
            line += " \u2014 " + from;
        }
    }
    if (card.note) {
        line += " [note]";
    }
    if (card.isHiddenFromAssistants()) {
        line += " [hidden from assistants]";
    }
    return line;
}

void printCards(AppContext& context, const std::vector<Card>& cards, bool json) {
    if (json) {
        Json array = Json::array();
        for (const Card& card : cards) {
            array.push_back(BoardJson::encode(card));
        }
        TextOutput::printJson(context.out, array);
        return;
    }
    for (const Card& card : cards) {
        context.out << card.id.text() << "  " << card.lane.title() << "  " << summary(card) << "\n";
    }
}

// Lanes in their declared order, each newest capture first.
std::vector<Card> matchingCards(const CardStore& store, const std::optional<Lane>& lane, const std::string& query) {
    std::vector<Card> found;
    for (Lane each : Lane::allLanes()) {
        if (!lane || *lane == each) {
            auto cards = store.cards(each, query);
            found.insert(found.end(), cards.begin(), cards.end());
        }
    }
    return found;
}

// A source for text given on the command line, carrying `address` as its page when
// one is given: the capture's own rule attaches it, cleaning it and naming the page
// after its host when no title is given.
SourceRef commandLineSource(const std::string& title, const std::optional<std::string>& address, Date now) {
    SourceRef source{title, std::nullopt, commandLineAppName, std::nullopt, false};
    if (!address) {
        return source;
    }
    Capture carrier(UUID(), CaptureKind::quote, std::nullopt, std::nullopt, std::nullopt, source, now);
    auto withAddress = carrier.withSourceAddress(*address);
    if (!withAddress) {
        throw CommandError("That address can't be used. Give a web address that starts with http:// or https://.");
    }
    return withAddress->source;
}

void addCapture(AppContext& context, const std::optional<std::string>& selection, const SourceRef& source, Lane lane,
                Date now) {
    auto outcome = CaptureBuilder::build(selection, source, now);
    if (outcome.kind != CaptureBuilder::Outcome::Case::capture) {
        throw CommandError(outcome.message);
    }
    const Capture& capture = *outcome.capture;
    if (auto reason = capture.unavailableReason(lane)) {
        throw CommandError(*reason);
    }
    auto store = openBoard(context);
    Card card(capture, lane, std::nullopt, UUID::random(), now, std::nullopt);
    save(*store, card);
    context.out << "Saved " << card.id.text() << " to " << lane.title() << ".\n";
}

struct ListOptions {
    std::string lane;
    bool json = false;
};

struct ExportOptions {
    std::string lane;
    std::string out;
};

struct QuoteOptions {
    std::string text;
    std::string url;
    std::string title;
    std::string lane = "evidence";
};

std::vector<std::string> laneNames() {
    std::vector<std::string> names;
    for (Lane lane : Lane::allLanes()) {
        names.push_back(lane.rawValue());
    }
    return names;
}

} // namespace

void registerBoardCommands(CLI::App& app, AppContext& context) {
    auto* board = app.add_subcommand("board", "Show and change the research board (board.json)");
    board->require_subcommand(1);
    const auto lanes = CLI::IsMember(laneNames());

    auto* list = board->add_subcommand("list", "List the board's cards, lane by lane, newest capture first");
    auto listOptions = std::make_shared<ListOptions>();
    list->add_option("--lane", listOptions->lane, "Only this lane: links, notes or evidence")->check(lanes);
    list->add_flag("--json", listOptions->json, "Print the cards as JSON, in the form board.json holds them");
    list->callback([&context, listOptions] {
        auto store = openBoard(context);
        std::optional<Lane> lane;
        if (!listOptions->lane.empty()) {
            lane = laneNamed(listOptions->lane);
        }
        auto cards = matchingCards(*store, lane, "");
        if (cards.empty() && !listOptions->json) {
            context.out << (lane ? "No cards in " + lane->title() + "." : std::string("The board is empty.")) << "\n";
            return;
        }
        printCards(context, cards, listOptions->json);
    });

    auto* search = board->add_subcommand(
        "search", "Find cards whose text, addresses, titles, application or note contain the words");
    auto words = std::make_shared<std::vector<std::string>>();
    search->add_option("words", *words, "The text to look for (ignoring case)")->required();
    search->callback([&context, words] {
        std::string query;
        for (const std::string& word : *words) {
            query += (query.empty() ? "" : " ") + Text::sanitizeUTF8(word);
        }
        auto store = openBoard(context);
        auto cards = matchingCards(*store, std::nullopt, query);
        if (cards.empty()) {
            context.out << "No cards match \u201C" << Text::trim(query) << "\u201D.\n";
            return;
        }
        printCards(context, cards, false);
    });

    auto* exportBrief = board->add_subcommand("export", "Write the board as a Markdown research brief");
    auto exportOptions = std::make_shared<ExportOptions>();
    exportBrief->add_option("--lane", exportOptions->lane, "Only this lane: links, notes or evidence")->check(lanes);
    exportBrief->add_option("--out", exportOptions->out, "Write the brief to this file instead of printing it");
    exportBrief->callback([&context, exportOptions] {
        auto store = openBoard(context);
        std::vector<Card> cards = store->cards();
        if (!exportOptions->lane.empty()) {
            std::erase_if(cards, [&](const Card& card) { return card.lane != laneNamed(exportOptions->lane); });
        }
        std::string brief =
            MarkdownExport::brief(cards, MarkdownExport::Options("BRELL research brief", true), systemNow());
        if (exportOptions->out.empty()) {
            context.out << brief;
            return;
        }
        try {
            // The file gets what the terminal would show: no escape sequence survives in it.
            FileSystem::writeAtomically(exportOptions->out, TextOutput::printable(brief, true));
        } catch (const Error& e) {
            throw CommandError(std::string("The brief could not be written: ") + e.what());
        }
        context.out << "Wrote the research brief to " << exportOptions->out << ".\n";
    });

    auto* addQuote = board->add_subcommand("add-quote", "Save an exact quote with the page it came from");
    auto quote = std::make_shared<QuoteOptions>();
    addQuote->add_option("--text", quote->text, "The quote, exactly as it should be kept")->required();
    addQuote->add_option("--url", quote->url, "The address of the page the quote came from")->required();
    addQuote->add_option("--title", quote->title, "The page's title (default: its host)");
    addQuote->add_option("--lane", quote->lane, "notes or evidence (default: evidence)")->check(lanes);
    addQuote->callback([&context, quote] {
        Date now = systemNow();
        SourceRef source = commandLineSource(Text::sanitizeUTF8(quote->title), Text::sanitizeUTF8(quote->url), now);
        addCapture(context, Text::sanitizeUTF8(quote->text), source, laneNamed(quote->lane), now);
    });

    auto* addLink = board->add_subcommand("add-link", "Save a page to the Links lane");
    auto link = std::make_shared<std::string>();
    addLink->add_option("url", *link, "The page's address (http or https)")->required();
    addLink->callback([&context, link] {
        Date now = systemNow();
        SourceRef page = commandLineSource("", Text::sanitizeUTF8(*link), now);
        addCapture(context, std::nullopt, page, Lane::links, now);
    });

    auto* move = board->add_subcommand("move", "Move a card to another lane");
    auto moveID = std::make_shared<std::string>();
    auto moveLane = std::make_shared<std::string>();
    move->add_option("id", *moveID, "The card's id, as brell board list shows it")->required();
    move->add_option("lane", *moveLane, "links, notes or evidence")->required()->check(lanes);
    move->callback([&context, moveID, moveLane] {
        UUID id = cardID(*moveID);
        Lane lane = laneNamed(*moveLane);
        auto store = openBoard(context);
        auto card = store->card(id);
        if (!card) {
            throw CommandError("No card has the id " + *moveID + ".");
        }
        if (auto reason = card->capture.unavailableReason(lane)) {
            throw CommandError(*reason);
        }
        try {
            store->move(id, lane);
        } catch (const Error& e) {
            throw CommandError(std::string("The board could not be saved: ") + e.what());
        }
        context.out << "Moved " << id.text() << " to " << lane.title() << ".\n";
    });

    auto* remove = board->add_subcommand("remove", "Remove a card from the board");
    auto removeID = std::make_shared<std::string>();
    remove->add_option("id", *removeID, "The card's id, as brell board list shows it")->required();
    remove->callback([&context, removeID] {
        UUID id = cardID(*removeID);
        auto store = openBoard(context);
        std::optional<Card> removed;
        try {
            removed = store->deleteCard(id);
        } catch (const Error& e) {
            throw CommandError(std::string("The board could not be saved: ") + e.what());
        }
        if (!removed) {
            throw CommandError("No card has the id " + *removeID + ".");
        }
        context.out << "Removed " << id.text() << ".\n";
    });
}

} // namespace brell
