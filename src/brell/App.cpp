#include "brell/App.h"

#include <iostream>
#include <string_view>

#include <CLI/CLI.hpp>

#include "BrellCore/integration/AppVersion.h"
#include "brell/AppContext.h"
#include "brell/Commands.h"
#include "brell/PrintableBuffer.h"

namespace brell {

int appMain(int argc, char** argv) {
    if (argc >= 2 && std::string_view(argv[1]) == "--mcp") {
        return mcpMain(argc, argv);
    }
    CLI::App app{"BRELL: a private research memory. Everything stays on this computer.", "brell"};
    app.set_version_flag("--version", "brell " + AppVersion::current().display());
    app.require_subcommand(1);
    // Everything a command prints passes the printable-text filter on its way out.
    PrintableBuffer outBuffer(std::cout.rdbuf());
    PrintableBuffer errBuffer(std::cerr.rdbuf());
    std::ostream out(&outBuffer);
    std::ostream err(&errBuffer);
    AppContext context(out, err, std::cerr);
    context.purgeWhenDue = true; // the daily retention purge; never in the companion host
    registerCommands(app, context);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e, std::cout, std::cerr);
        return 2;
    } catch (const std::exception& e) {
        // A CommandError is the sentence written for the user; anything else still
        // names what failed.
        out.flush();
        err << "brell: " << e.what() << "\n";
        err.flush();
        return 1;
    }
    out.flush();
    return 0;
}

} // namespace brell
