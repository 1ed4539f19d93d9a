#include "brell/Commands.h"

#include <CLI/CLI.hpp>

namespace brell {

void registerImportCommands(CLI::App&, AppContext&) {}

} // namespace brell
