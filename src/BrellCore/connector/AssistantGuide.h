#pragma once
// Everything BRELL tells AI assistants about how to use it: the manual (fixed
// Markdown), the live status that follows it in the guide (what is shared right now),
// the one-line summary of a brell, the six ready-made prompts the connector offers, the
// skill file installed into assistants' skills folders, and two texts for chat
// assistants that cannot reach the connector (the user pastes research into them).
//
// Constants and pure functions, safe from any thread, except installSkill and
// isSkillInstalled, which touch the file system. Dates are shown in the fixed "en_GB"
// pattern of AssistantFormat::stamp; the `timeZone` parameters exist so tests can fix
// the zone. installSkill throws SkillError or FileError; nothing else throws (only
// std::bad_alloc, and DateFormat::FormatError for a zone ICU does not know).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrellCore/board/Card.h"
#include "BrellCore/connector/AssistantAccess.h"
#include "BrellMemory/records/AssistantBrell.h"
#include "util/Date.h"
#include "util/DateFormat.h"
#include "util/Error.h"
#include "util/Json.h"

namespace brell::AssistantGuide {

// The manual's revision, written into the skill file.
inline constexpr int revision = 2;
inline constexpr std::string_view skillName = "brell";
// Marks a skill file this system wrote.
inline constexpr std::string_view skillMarker = "<!-- written by BRELL";

// The manual for AI assistants, in Markdown, without a final line feed.
const std::string& manual();

// The skill file's text: front matter, the marker comment, the manual and a short
// section on the slash commands and on what to do without the brell tools.
const std::string& skill();

// The instructions a user pastes into a chat assistant that cannot reach the connector.
extern const std::string_view pasteManual;

// The first paragraph of research the user pastes into such an assistant.
extern const std::string_view briefHeader;

// One ready-made prompt: its name on the wire, a title, one sentence, at most one
// argument, and the user message, in which every "{arg}" stands for the argument.
struct Prompt {
    struct Argument {
        std::string name;
        std::string description;
        bool required;
    };

    std::string name;
    std::string title;
    std::string description;
    std::optional<Argument> argument;
    std::string templateText;
};

// brell_context, brell_focus, brell_find, brell_catch_up, brell_check, brell_brief.
const std::vector<Prompt>& prompts();

// The one error of the skill installer: a SKILL.md in the brell folder that this
// system did not write.
class SkillError : public Error {
public:
    // "A different skill named “brell” already exists at <path>, so BRELL left it
    // unchanged."
    static SkillError foreignSkill(const std::string& path);

    const std::string& path() const { return path_; }

private:
    SkillError(const std::string& what, std::string path) : Error(what), path_(std::move(path)) {}
    std::string path_;
};

// manual() + "\n\n" + status(...).
std::string guide(const AssistantAccess& access, const std::vector<Card>& cards,
                  const std::vector<AssistantBrell>& brells, Date now,
                  std::string_view timeZone = DateFormat::localZone);

// What is shared right now: item counts per shared lane, the lanes not shared, the
// capture dates, the most-saved sources, the Memory, visual and screen switches, and
// the brells with their tasks. `cards` is the whole board; only the cards `access`
// allows are counted. With sharing off, a short text saying the tools will refuse.
std::string status(const AssistantAccess& access, const std::vector<Card>& cards,
                   const std::vector<AssistantBrell>& brells, Date now,
                   std::string_view timeZone = DateFormat::localZone);

// "- **name** · current task: … (aim: …), set <stamp> · keywords: a, b · 3 shared
// items", where the count is of `cards` (the caller passes only shared cards) that the
// brell's keywords match.
std::string brellLine(const AssistantBrell& brell, const std::vector<Card>& cards,
                      std::string_view timeZone = DateFormat::localZone);

// One object per prompt, in order: "name", "title", "description" and, for a prompt
// with an argument, "arguments": [{"name", "description", "required"}].
OrderedJson promptList();

// {"description", "messages": [{"role": "user", "content": {"type": "text", "text"}}]}
// for the named prompt, its "{arg}" replaced by the argument's trimmed text (a missing
// or non-string argument counts as empty). Nothing for an unknown name, or when a
// required argument is empty.
std::optional<OrderedJson> promptMessages(std::string_view name, const Json& arguments);

// Writes skill() to <folder>/brell/SKILL.md atomically, creating the folders, and
// returns the file's path. A SKILL.md already there is replaced only when it carries
// skillMarker (an earlier revision of ours); any other file there, whatever its
// encoding, is left untouched and SkillError::foreignSkill is thrown. A file that
// exists but cannot be read is never replaced either: its FileError is raised.
std::string installSkill(const std::string& folder);

// True when <folder>/brell/SKILL.md reads as UTF-8 text holding skillMarker; false on
// any failure.
bool isSkillInstalled(const std::string& folder);

} // namespace brell::AssistantGuide
