#include "brell/Commands.h"

#include <CLI/CLI.hpp>

namespace brell {

void registerSearchCommands(CLI::App&, AppContext&) {}

} // namespace brell
