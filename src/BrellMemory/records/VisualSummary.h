#pragma once
// One Visual-mode session (pictures of one window the user chose to capture) as the
// connector lists it. Made by the visual memory; a plain aggregate with equality;
// thread-safe.
#include <cstdint>
#include <string>

#include "util/Date.h"

namespace brell {

struct VisualSummary {
    int64_t id;        // the session's id
    std::string app;   // application name
    std::string title; // window title
    std::string note;  // the user's note; may be empty
    Date startedAt;
    Date endedAt;
    int64_t frames;       // pictures in the session
    int64_t sharedFrames; // pictures that would be shared: the user's picks or an even spread
    bool userPicked;      // the user picked the pictures to share

    bool operator==(const VisualSummary&) const = default;
};

} // namespace brell
