#pragma once
// One fixed board, sharing settings and memory for the connector's tests: five cards
// (one hidden from assistants), a brell, memory passages, a screen glimpse and a visual
// session, served by fake providers, with the clock and the time zone fixed so that
// answers can be compared with golden files byte for byte.
#include <string>
#include <vector>

#include "BrellCore/board/BoardSamples.h"
#include "BrellCore/board/CardStore.h"
#include "BrellCore/connector/AccessLog.h"
#include "BrellCore/connector/AssistantAccess.h"
#include "BrellCore/connector/MCPServer.h"
#include "support/TestSupport.h"

namespace brell::test {

// The connector's clock in these tests: a day after the board's first capture.
inline constexpr Date connectorNow = march1 + 86400;

inline AssistantAccess shareEverything() {
    return AssistantAccess(true, {Lane::links, Lane::notes, Lane::evidence}, true, true, true, true);
}

inline AssistantAccess shareBoardOnly() {
    return AssistantAccess(true, {Lane::links, Lane::notes, Lane::evidence}, false, false, true, false);
}

inline std::vector<Card> connectorBoard() {
    SourceRef acme{"Acme pricing", std::string("https://acme.example/pricing"), "Safari",
                   std::string("com.apple.Safari"), false};
    SourceRef design{"Glass UI notes", std::string("https://design.example/glass"), "Chrome", std::nullopt, false};
    SourceRef notesApp{"Thames notes", std::nullopt, "Notes", std::nullopt, false};
    Note aiNote{Note::Mode::ai, "The middle tier anchors the price.", std::string("Prices from 2024."),
                std::string("Claude"), march1};
    Note manual{Note::Mode::manual, "Use this for the contrast section.", std::nullopt, std::nullopt, march1};
    return {
        cardOf(quoteCapture("Acme's middle tier is the anchor price for most buyers.", march1, acme), Lane::evidence, 1,
               aiNote),
        cardOf(quoteCapture("Glassmorphism panels need a solid fallback for contrast.", march1 + 3600, design),
               Lane::notes, 2, manual),
        cardOf(linkCapture("https://globex.example/plans", std::string("Globex plans"), march1 + 7200, acme),
               Lane::links, 3),
        cardOf(quoteCapture("Secret acme pricing memo.", march1 + 9000, acme), Lane::evidence, 4, std::nullopt, true),
        cardOf(quoteCapture("The Thames Barrier closes when storm surges threaten London.", march1 + 10800, notesApp),
               Lane::evidence, 5),
    };
}

inline AssistantBrell acmeBrell() {
    return AssistantBrell{
        "Acme pricing", {"acme", "middle tier"}, std::string("Compare the tiers"), std::string("Pick a plan"), march1};
}

inline ContextPassage videoMoment() {
    return ContextPassage{"Video transcript",
                          "Glass UI in practice",
                          std::string("03:25"),
                          "glassmorphism only works\nwith enough contrast behind it",
                          std::string("you watched this part"),
                          "https://www.youtube.com/watch?v=glassDemo01&t=205s"};
}

inline ContextPassage articlePassage() {
    return ContextPassage{"Article",
                          "Pricing tiers explained",
                          std::string("“Anchors”"),
                          "A middle tier works as an anchor.",
                          std::string("you read this part"),
                          "https://pricing.example/tiers#:~:text=A%20middle%20tier"};
}

inline ScreenGlimpse pricingWindow() {
    return ScreenGlimpse{"Safari",
                         "Acme — Pricing",
                         std::string("https://acme.example/pricing"),
                         connectorNow - 1200,
                         connectorNow - 600,
                         std::string("A pricing page with three tiers."),
                         "Starter\nTeam — the middle tier\nBusiness",
                         std::string("Pricing research")};
}

inline VisualSummary modelSession() {
    return VisualSummary{42, "Blender", "tower.blend", "the roof joint", march1, march1 + 60, 12, 3, true};
}

// Pictures of the given sizes, one second apart.
inline std::vector<VisualPicture> picturesOf(const std::vector<std::size_t>& sizes) {
    std::vector<VisualPicture> pictures;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        pictures.push_back(VisualPicture{march1 + static_cast<double>(i), std::vector<uint8_t>(sizes[i], 0xFF)});
    }
    return pictures;
}

// A folder holding board.json and the sharing settings, and servers over it.
class ConnectorHome {
public:
    ConnectorHome() {
        writeBoard(connectorBoard());
        share(shareEverything());
    }

    std::string boardURL() const { return folder_.file("BRELL/board.json"); }
    std::string logURL() const { return AccessLog::fileURL(boardURL()); }

    void writeBoard(const std::vector<Card>& cards) const {
        CardStore store(boardURL());
        store.load();
        store.clear();
        for (const Card& card : cards) {
            store.upsert(card);
        }
    }
    void share(const AssistantAccess& access) const { access.save(AssistantAccess::fileURL(boardURL())); }

    // A server with every provider present and answering from the samples.
    MCPServer server() const {
        MCPServer server(
            boardURL(), [](const std::string&, int64_t) { return std::vector<ContextPassage>{articlePassage()}; },
            [](const std::string&, int64_t) { return std::vector<ContextPassage>{videoMoment()}; });
        server.now = [] { return connectorNow; };
        server.timeZone = "UTC";
        server.brells = [] { return std::vector<AssistantBrell>{acmeBrell()}; };
        server.screenActivity = [](const std::string&, int64_t) { return std::vector<ScreenGlimpse>{pricingWindow()}; };
        server.screenGroups = [] {
            return std::vector<std::pair<std::string, int64_t>>{{"Pricing research", 4}, {"Travel", 1}};
        };
        server.visualList = [](const std::string&, int64_t) { return std::vector<VisualSummary>{modelSession()}; };
        server.visualPictures = [](int64_t id) -> std::optional<std::pair<VisualSummary, std::vector<VisualPicture>>> {
            if (id != 42) {
                return std::nullopt;
            }
            return std::make_pair(modelSession(), picturesOf({3, 4, 5}));
        };
        return server;
    }

    // A server whose optional providers are all absent.
    MCPServer bareServer() const {
        MCPServer server(boardURL(), nullptr, nullptr);
        server.now = [] { return connectorNow; };
        server.timeZone = "UTC";
        return server;
    }

private:
    TempFolder folder_;
};

} // namespace brell::test
