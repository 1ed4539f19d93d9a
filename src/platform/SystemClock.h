#pragma once
// The machine's wall clock, as BRELL's Date (seconds since 1970, fractional).
#include "util/Date.h"

namespace brell {

Date systemNow();

} // namespace brell
