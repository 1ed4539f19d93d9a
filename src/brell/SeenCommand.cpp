#include "brell/Commands.h"

#include <CLI/CLI.hpp>

namespace brell {

void registerSeenCommand(CLI::App&, AppContext&) {}

} // namespace brell
