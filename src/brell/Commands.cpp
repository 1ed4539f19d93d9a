#include "brell/Commands.h"

#include <CLI/CLI.hpp>

namespace brell {

void registerCommands(CLI::App& app, AppContext& context) {
    registerMemoryCommands(app, context);
    registerBoardCommands(app, context);
    registerImportCommands(app, context);
    registerSeenCommand(app, context);
    registerSearchCommands(app, context);
}

} // namespace brell
