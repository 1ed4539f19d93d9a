#pragma once
// CatchUp: the review behind "Catch me up", which reads the mail and chat windows screen
// memory kept and lists what still needs the user. It packs the windows into requests
// that fit the provider's input budget, reads every answer strictly against the
// windows that were sent (an item naming any other window is dropped), removes repeats,
// orders what is left by urgency and keeps at most 12 items.
//
// Nothing here talks to a model: review() hands each request input to the `call` it is
// given, which sends it with `system` and schema() to the provider the user chose and
// returns the answer object. Window text is data to the model; the instruction says so.
//
// Pure functions, except that review() runs `call` once per batch, in order, on the
// caller's thread. The schema is built once, safely under concurrent first use. Only
// review() throws, and only what `call` threw; nothing in an answer makes parse() fail.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "BrellMemory/screen/CatchUpItem.h"
#include "BrellMemory/screen/ScreenCapture.h"
#include "util/DateFormat.h"
#include "util/Json.h"

namespace brell::CatchUp {

// The most items a review or one answer gives.
inline constexpr std::size_t maxItems = 12;
// Characters of a window's text one request carries at most.
inline constexpr std::size_t maxCaptureCharacters = 3000;
// Characters counted per window for its id, app, title and time.
inline constexpr int64_t fieldAllowance = 120;
// Characters of the budget left for the instruction and the answer's schema.
inline constexpr int64_t promptAllowance = 400;
// The per-window cap never goes below this, however small the budget.
inline constexpr int64_t minCaptureCharacters = 600;
// Characters of window text one review sends across all its requests.
inline constexpr int64_t reviewTotal = 40000;
// input()'s budget when every window should go in.
inline constexpr std::size_t unlimited = std::numeric_limits<std::size_t>::max();

// The instruction of every catch-up request (one line).
extern const char* const system;

// {"items": [{"captureId", "from", "summary", "whyItMatters", "urgency"}]}, every
// property a required string, "urgency" one of "high", "normal", "low"; nothing else.
const OrderedJson& schema();

// The id a window goes by in a request: "s" and its id in decimal.
std::string inputID(const ScreenCapture& capture);

// {"captures": [{"id", "app", "window", "seen", "text"}, …]}: the windows in order, each
// text cut to its first 3,000 characters, stopping before the first window whose text
// would bring the characters sent above `maxChars`. "seen" is the window's last
// sighting as "EEE HH:mm" (en_GB) in `timeZone` (the machine's own by default).
Json input(const std::vector<ScreenCapture>& captures, std::size_t maxChars,
           std::string_view timeZone = DateFormat::localZone);

// The windows split into requests of at most `budget` characters each (a window alone
// may pass it), each window counted as its text, capped at `perCapture` (lowered to
// budget − 400, at least 600), plus 120; windows stop being taken once all of them
// together would pass `total`.
std::vector<std::vector<ScreenCapture>> batches(const std::vector<ScreenCapture>& captures, int64_t budget,
                                                int64_t total, int64_t perCapture);

// The items an answer names, at most 12, most urgent first (stable). Only items whose
// "captureId" is the inputID of one of `captures` count; their texts are cut to the
// CatchUpItem limits. An answer whose "items" is not a list of objects gives none.
std::vector<CatchUpItem> parse(const Json& answer, const std::vector<ScreenCapture>& captures);

// Sends one request input and returns the answer object; throws the provider's error.
using Call = std::function<Json(const Json& input)>;
// Hears (requests done, all requests) after each request, answered or failed.
using Progress = std::function<void(std::size_t done, std::size_t total)>;

// What a review did, for a caller that tells the user about windows left out and
// requests that failed.
struct Review {
    std::vector<CatchUpItem> items; // at most 12, most urgent first, no repeats
    std::size_t batches = 0;        // requests made
    std::size_t failed = 0;         // requests that threw
    std::size_t reviewed = 0;       // windows that fitted the review's total budget
    std::exception_ptr error;       // the last failure's error, when one failed
};

// The review of `captures` with requests of at most `budget` characters: every batch
// (at most 40,000 characters of text in all, at most 3,000 per window, fewer when the
// budget is small) is sent through `call` in turn; a failed request loses its own
// batch only. Items repeating a window and sender (ignoring case) are dropped.
Review reviewAll(const std::vector<ScreenCapture>& captures, int64_t budget, const Call& call,
                 const Progress& progress = nullptr, std::string_view timeZone = DateFormat::localZone);

// reviewAll's items; when every request failed, throws the last error instead. No
// windows give no requests and no items.
std::vector<CatchUpItem> review(const std::vector<ScreenCapture>& captures, int64_t budget, const Call& call);

} // namespace brell::CatchUp
