// brell insights …: suggestions for a brell's task (filled in below).
#include <CLI/CLI.hpp>

#include "brell/AppContext.h"
#include "brell/Commands.h"

namespace brell {

void registerInsightsCommands(CLI::App& /*app*/, AppContext& /*context*/) {}

} // namespace brell
