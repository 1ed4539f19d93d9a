#pragma once
// Dates are seconds since 1970-01-01 00:00:00 UTC as 64-bit floats, the form the
// database stores (REAL columns) and every clock in the system returns.
#include <functional>

namespace brell {

using Date = double;

// A clock: returns the current date. Stores keep one so tests can fix time.
using Clock = std::function<Date()>;

} // namespace brell
