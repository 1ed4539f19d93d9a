#pragma once
// What AI assistants may read: the user's sharing switches, stored in
// assistant-access.json beside the board file, so that the connector, which is told only
// where the board is, finds them. The application writes the file (whole, atomically,
// 0600 in a folder created 0700); the connector reads it afresh for every request and
// never writes it.
//
// A plain value with equality; thread-safe. The file is one compact JSON object with
// all six keys. "enabled" and "lanes" are required; the other four take their default
// when missing (or null). A missing file, a file that cannot be read, text that is not
// such an object, an unknown lane or a value of the wrong type all read as the default
// value, in which nothing is shared. docs/assistant-access.md describes the file.
//
// load() and decode() never throw; save() throws FileError.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellCore/board/Card.h"
#include "BrellCore/board/Lane.h"

namespace brell {

struct AssistantAccess {
    AssistantAccess(bool enabled, std::vector<Lane> lanes, bool shareMemory, bool shareVisuals, bool shareBrells,
                    bool shareScreen);

    bool enabled;            // master switch: nothing at all is shared while it is false
    std::vector<Lane> lanes; // the board lanes whose cards assistants may read
    bool shareMemory;        // passages of videos watched and articles read
    bool shareVisuals;       // Visual-mode sessions
    bool shareBrells;        // the user's brells (projects) and their current tasks
    bool shareScreen;        // text read off the windows the user had in front

    // The switches' names as the application and the connector's refusals show them.
    static constexpr std::string_view enabledName = "Let AI assistants read my BRELL";
    static constexpr std::string_view shareMemoryName = "Also share Memory";
    static constexpr std::string_view shareVisualsName = "Share visual sessions";
    static constexpr std::string_view shareBrellsName = "Share my brells and current tasks";
    static constexpr std::string_view shareScreenName = "Share screen activity";
    // Where they live in the application.
    static constexpr std::string_view settingsPlace = "Sources & Privacy → AI connections";

    // The value used when there is no readable file: sharing off, all three lanes,
    // brells shared, Memory, visual sessions and screen activity not shared.
    static AssistantAccess defaultValue();

    // The board file's folder plus "assistant-access.json".
    static std::string fileURL(const std::string& boardURL);

    // The settings at `fileURL`, or the default value on any failure.
    static AssistantAccess load(const std::string& fileURL);

    // The settings at `fileURL`; nothing when there is no file or it does not decode.
    static std::optional<AssistantAccess> tryLoad(const std::string& fileURL);

    // The settings that `text` holds; nothing when it is not a valid settings object.
    static std::optional<AssistantAccess> decode(std::string_view text);

    // The file's text: a compact object with the keys "enabled", "lanes",
    // "shareMemory", "shareVisuals", "shareBrells", "shareScreen".
    std::string encoded() const;

    // Writes encoded() to `fileURL` atomically, creating its folder and missing parents.
    // On failure the previous file is left as it was.
    void save(const std::string& fileURL) const;

    // True when `lane` is one of `lanes` (whatever the master switch says).
    bool shares(Lane lane) const;

    // True only when sharing is enabled, the card's lane is shared and the card is not
    // hidden from assistants. No lanes allow no card.
    bool allows(const Card& card) const;

    bool operator==(const AssistantAccess&) const = default;
};

} // namespace brell
